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

# A GoogleTest executable; every case is its own ctest test.
# LABELS: one label: "threads" (also run under TSan) or "net" (needs root and network
# namespaces; also run under TSan).
function(orvandel_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
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
