# One static library per layer: every .cpp of the folder; sources are included as
# "layer/file.h" from the repository root.
function(orvandel_layer name)
  cmake_parse_arguments(L "" "" "PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/generated")
    target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS} PRIVATE ${L_PRIVATE_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/generated")
    target_link_libraries(${name} INTERFACE ${L_PUBLIC_LIBS})
  endif()
endfunction()

# Adds every direct sub-folder that has a CMakeLists.txt, so that test, tool and
# bench folders can be added without touching a shared list.
function(orvandel_add_child_dirs)
  file(GLOB children LIST_DIRECTORIES true "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${child}" AND EXISTS "${child}/CMakeLists.txt")
      add_subdirectory("${child}")
    endif()
  endforeach()
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
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "gui;${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ORVANDEL_SOURCE_RESOURCES=${PROJECT_SOURCE_DIR}/resources")
endfunction()
