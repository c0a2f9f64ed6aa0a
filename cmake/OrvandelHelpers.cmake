# One static library per layer, from the sources listed one per line. Sources are
# included as "layer/file.h" from the repository root.
#   orvandel_layer(name
#     SOURCES a.cpp b.cpp ...
#     PUBLIC_LIBS ... PRIVATE_LIBS ...)
function(orvandel_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  if(NOT L_SOURCES)
    message(FATAL_ERROR "orvandel_layer(${name}): no SOURCES")
  endif()
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/generated")
  target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS} PRIVATE ${L_PRIVATE_LIBS})
  # moc runs for the Qt layers only; the core stays untouched by Qt tooling.
  if("${L_PUBLIC_LIBS};${L_PRIVATE_LIBS}" MATCHES "Qt6::")
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# How a test program's own sources compile (the libraries it tests keep their flags).
# Most of a test file's compile time is spent on the GoogleTest or Qt headers and
# on optimising and describing test code for the debugger, so:
# - in an optimised build without sanitizers, no optimisation and no debug
#   information (a failing test names its file and line by itself; the product
#   code under test, in the layer libraries, is built as it ships). Unoptimised
#   code cannot be fortified, which matters for shipped programs only; -O1 would
#   also wake GCC 12's false -Warray-bounds on strings built in test tables;
# - one precompiled header per kind: "gtest" (GoogleTest and the standard headers
#   the tests use) for the whole tree, built by its first program and reused by
#   the others; "qt" (Qt Test and the widgets) per folder, since Qt Test defines
#   the folder of each program (QT_TESTCASE_SOURCEDIR) and a precompiled header
#   only serves sources whose definitions match.
#   CMAKE_DISABLE_PRECOMPILE_HEADERS=ON turns this off.
function(orvandel_test_code name kind)
  if(ORVANDEL_SANITIZE STREQUAL "")
    set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
    target_compile_options(${name} PRIVATE "$<${optimised}:-O0;-g0;-U_FORTIFY_SOURCE>")
  endif()
  if(kind STREQUAL "gtest")
    get_property(host GLOBAL PROPERTY orvandel_pch_gtest)
    if(host)
      target_precompile_headers(${name} REUSE_FROM ${host})
    else()
      target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h> <algorithm> <atomic>
        <chrono> <filesystem> <functional> <memory> <optional> <string> <thread> <vector>)
      set_property(GLOBAL PROPERTY orvandel_pch_gtest ${name})
    endif()
  elseif(kind STREQUAL "qt")
    # Most programs' moc file is empty, and the others include their own headers.
    set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/mocs_compilation.cpp"
      PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    get_property(programs DIRECTORY PROPERTY orvandel_qt_test_programs)
    if(NOT programs)
      cmake_language(DEFER CALL _orvandel_qt_test_pch)
    endif()
    set_property(DIRECTORY APPEND PROPERTY orvandel_qt_test_programs ${name})
  else()
    message(FATAL_ERROR "orvandel_test_code(${name}): kind is gtest or qt, not '${kind}'")
  endif()
endfunction()

# At the end of a test folder: its Qt test programs share one precompiled header
# if there are two or more (for a single program it costs more than it saves).
function(_orvandel_qt_test_pch)
  get_property(programs DIRECTORY PROPERTY orvandel_qt_test_programs)
  list(LENGTH programs count)
  if(count LESS 2 OR CMAKE_DISABLE_PRECOMPILE_HEADERS)
    return()
  endif()
  list(POP_FRONT programs host)
  # Not all of <QtWidgets>: a precompiled header is loaded whole by every source.
  target_precompile_headers(${host} PRIVATE <QtTest> <QApplication> <QHeaderView> <QImage> <QLabel>
    <QMenu> <QPainter> <QScrollBar> <QTextDocument> <QTreeWidget> <QWidget> <string> <vector>)
  foreach(program IN LISTS programs)
    target_precompile_headers(${program} REUSE_FROM ${host})
  endforeach()
endfunction()

# A GoogleTest executable; every case is its own ctest test (in sanitizer builds,
# every program).
# LABELS: one label: "threads" (also run under TSan) or "net" (needs root and network
# namespaces; also run under TSan).
function(orvandel_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  orvandel_test_code(${name} gtest)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(NOT ORVANDEL_SANITIZE STREQUAL "")
    # Under a sanitizer, starting a program and its leak check at exit cost a few
    # tenths of a second, more than most cases take: there a program runs all its
    # cases in one process, as one test.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 5")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
      # Programs that run threads or use the network take longest: ctest starts them first.
      set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" COST 100)
    endif()
    return()
  endif()
  # An empty LABELS value would vanish from the list and shift the pairs.
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name} PROPERTIES ${props} DISCOVERY_TIMEOUT 60)
endfunction()

# A QtTest executable, run offscreen; one ctest test per executable.
function(orvandel_qttest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test Qt6::Widgets Threads::Threads)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  orvandel_test_code(${name} qt)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "gui;${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ORVANDEL_SOURCE_RESOURCES=${PROJECT_SOURCE_DIR}/resources")
endfunction()

# A libFuzzer target over the layer libraries, which the fuzz build compiles with
# -fsanitize=fuzzer-no-link so that they carry the coverage instrumentation.
function(orvandel_fuzz_target name)
  cmake_parse_arguments(F "" "SEEDS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  if(F_SEEDS)
    # Seeds the corpus directory that the CI run uses, so the run starts from real inputs.
    file(COPY "${F_SEEDS}/" DESTINATION "${PROJECT_BINARY_DIR}/corpus/${name}")
  endif()
endfunction()
