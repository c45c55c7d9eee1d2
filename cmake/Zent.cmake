# Helpers that keep the per-folder CMakeLists short and alike.

# zent_library(NAME SOURCES... [LIBS ...]): a static library of one src/ folder.
function(zent_library name)
  cmake_parse_arguments(Z "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT Z_SOURCES)
    # A folder whose modules are not written yet: headers only, so that users still link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${Z_LIBS})
    return()
  endif()
  add_library(${name} STATIC ${Z_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${Z_LIBS})
endfunction()

# zent_program(NAME SOURCES... [LIBS ...]): a program in build/bin.
function(zent_program name)
  cmake_parse_arguments(Z "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${Z_SOURCES})
  target_link_libraries(${name} PRIVATE ${Z_LIBS})
endfunction()

# zent_test(NAME SOURCES... [LIBS ...] [TIMEOUT s]): a GoogleTest program, one ctest
# entry per test case, built into build/tests.
function(zent_test name)
  cmake_parse_arguments(Z "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT Z_TIMEOUT)
    set(Z_TIMEOUT 120)
  endif()
  add_executable(${name} ${Z_SOURCES})
  target_link_libraries(${name} PRIVATE ${Z_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES TIMEOUT ${Z_TIMEOUT})
endfunction()

# zent_bench(NAME SOURCES... [LIBS ...]): a Google Benchmark program in build/bin.
function(zent_bench name)
  cmake_parse_arguments(Z "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${Z_SOURCES})
  target_link_libraries(${name} PRIVATE ${Z_LIBS} benchmark::benchmark Threads::Threads)
endfunction()

# zent_fuzz(NAME SOURCES... [LIBS ...]): a libFuzzer target in build/bin.
function(zent_fuzz name)
  cmake_parse_arguments(Z "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${Z_SOURCES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${Z_LIBS})
endfunction()

# zent_test_folder(PREFIX LIBS ...): every test_*.cpp of the calling folder becomes one
# test program PREFIX_<file>, linked with the given libraries and the test support.
function(zent_test_folder prefix)
  cmake_parse_arguments(Z "" "TIMEOUT" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  foreach(t IN LISTS tests)
    get_filename_component(n ${t} NAME_WE)
    if(Z_TIMEOUT)
      zent_test(${prefix}_${n} SOURCES ${t} LIBS ${Z_LIBS} zent_test_support TIMEOUT ${Z_TIMEOUT})
    else()
      zent_test(${prefix}_${n} SOURCES ${t} LIBS ${Z_LIBS} zent_test_support)
    endif()
  endforeach()
endfunction()
