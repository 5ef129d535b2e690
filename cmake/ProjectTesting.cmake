# Test registration shared by every component.
#
#   project_add_gtest(NAME name SOURCES a_test.cc ... LIBS lib ... [LABELS l ...])
#     builds a GoogleTest executable and registers each of its tests with CTest; GoogleTest's and
#     GoogleMock's headers come precompiled (PRECOMPILE_TEST_HEADERS, below).
#   project_add_pytest(NAME name DIR tests_dir [FILES f.py ...] [LABELS l ...] [ENV VAR=value ...])
#     runs pytest (Debian's interpreter) over a directory, or over the given files of it, with the
#     build tree's python/ first on PYTHONPATH and warnings as errors, started before the GoogleTest
#     cases (a COST above theirs). Under SANITIZE the sanitizer runtimes are preloaded. A suite
#     named in project_split_suites (below) is one entry per test file of its directory.
#   project_add_pytest_groups(PREFIX p DIR tests_dir GROUPS g ... VARIABLE_PREFIX v [LABELS l ...])
#     one project_add_pytest entry p_<g> per group, over the files listed in ${v_<g>}; stops
#     configuring when a test_*.py file of the directory is in no group, or in two.
if(BUILD_TESTING)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# GoogleTest's and GoogleMock's headers take longer to compile than most tests: they are
# precompiled once, in project_test_headers, and every test executable reuses that header (it was
# built with the same flags: the tests' own definitions and include directories do not reach it).
# ccache caches no compile that reads a precompiled header unless its sloppiness allows it
# (pch_defines,time_macros), so a build through a compiler launcher parses the headers in each test
# instead, as before, and is cached.
if(CMAKE_CXX_COMPILER_LAUNCHER)
  set(precompile_test_headers_default OFF)
else()
  set(precompile_test_headers_default ON)
endif()
option(PRECOMPILE_TEST_HEADERS "Precompile GoogleTest's and GoogleMock's headers once for every test"
       ${precompile_test_headers_default})
if(BUILD_TESTING AND PRECOMPILE_TEST_HEADERS)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/project_test_headers.cc
       CONTENT "int main() { return 0; }\n")
  add_executable(project_test_headers ${CMAKE_BINARY_DIR}/project_test_headers.cc)
  target_link_libraries(project_test_headers PRIVATE GTest::gtest GTest::gmock)
  target_precompile_headers(project_test_headers PRIVATE <gmock/gmock.h> <gtest/gtest.h>)
  project_warnings(project_test_headers)
endif()

set(PROJECT_PYTHON_DIR ${CMAKE_BINARY_DIR}/python)
# The COST of a test that runs programs or suites (seconds, against a GoogleTest case's
# milliseconds): any value above the cases' zero orders these first.
set(project_pytest_cost 10)
# The end-to-end suites whose tests spend most of their time waiting on programs in real time: one
# entry per test file, so that under ctest -j the files overlap and no single suite sets the length
# of the run. Each file's tests start their own programs in their own directories, on free ports.
set(project_split_suites rivlet_end_to_end ndi_bridge_end_to_end)
# The entries that take longest, with their seconds in a release run on an idle machine: each one
# starts before any shorter, so under -j the longest does not start late and run alone at the end.
set(project_long_test_seconds
    rivlet_end_to_end_rivlet=44 ndi_bridge_end_to_end_receiving=20 native_ocr_wheel=15
    agent_end_to_end=15 native_ocr_pytest_readers=15 rivlet_end_to_end_frozen_caller=12
    ndi_bridge_end_to_end_source_list=9 rivlet_end_to_end_pause_then_close=7
    ndi_bridge_end_to_end_faults=7 rivlet_end_to_end_readings=5)

function(project_add_gtest)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(arg "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${arg_NAME} ${arg_SOURCES})
  target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  project_warnings(${arg_NAME})
  if(TARGET project_test_headers)
    target_precompile_headers(${arg_NAME} REUSE_FROM project_test_headers)
  endif()
  gtest_discover_tests(${arg_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${arg_LABELS}")
endfunction()

function(project_sanitizer_preload out_var)
  set(preload "")
  if(SANITIZE)
    foreach(lib libasan.so libubsan.so)
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${lib}
                      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
      list(APPEND preload ${path})
    endforeach()
    list(JOIN preload ":" preload)
  endif()
  set(${out_var} "${preload}" PARENT_SCOPE)
endfunction()

function(project_add_pytest)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(arg "" "NAME;DIR;TIMEOUT" "FILES;LABELS;ENV;DEPENDS" ${ARGN})
  set(env "PYTHONPATH=${PROJECT_PYTHON_DIR}" "PYTHONDONTWRITEBYTECODE=1"
          "PROJECT_BUILD_DIR=${CMAKE_BINARY_DIR}" ${arg_ENV})
  project_sanitizer_preload(preload)
  if(preload)
    list(APPEND env "LD_PRELOAD=${preload}"
         "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"
         "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  if(arg_NAME IN_LIST project_split_suites AND NOT arg_FILES)
    # pytest's own collection of the directory, one entry per file: <name>_<file without test_>.
    file(GLOB files RELATIVE ${arg_DIR} CONFIGURE_DEPENDS ${arg_DIR}/test_*.py)
    foreach(file IN LISTS files)
      string(REGEX REPLACE "^test_(.*)[.]py$" "\\1" part ${file})
      project_pytest_entry(${arg_NAME}_${part} "${env}" "${arg_LABELS}" "${arg_TIMEOUT}"
                           ${arg_DIR}/${file})
    endforeach()
    return()
  endif()
  set(targets ${arg_DIR})
  if(arg_FILES)
    list(TRANSFORM arg_FILES PREPEND ${arg_DIR}/ OUTPUT_VARIABLE targets)
  endif()
  project_pytest_entry(${arg_NAME} "${env}" "${arg_LABELS}" "${arg_TIMEOUT}" ${targets})
endfunction()

# One CTest entry running pytest over the given files or directories.
function(project_pytest_entry name env labels timeout)
  add_test(NAME ${name}
           COMMAND ${Python_EXECUTABLE} -m pytest -q -W error -p no:cacheprovider ${ARGN})
  # A pytest entry takes seconds where a GoogleTest case takes milliseconds: started first (ctest
  # runs the costliest first until it has timed a run), the suites overlap under -j and the short
  # cases fill the gaps at the end rather than leave one core waiting on the last long suite.
  set(cost ${project_pytest_cost})
  foreach(entry IN LISTS project_long_test_seconds)
    if(entry MATCHES "^${name}=([0-9]+)$")
      set(cost ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" LABELS "${labels}" COST ${cost})
  if(timeout)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
  endif()
endfunction()

function(project_add_pytest_groups)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(arg "" "PREFIX;DIR;VARIABLE_PREFIX" "GROUPS;LABELS" ${ARGN})
  set(grouped "")
  foreach(group IN LISTS arg_GROUPS)
    set(files ${${arg_VARIABLE_PREFIX}_${group}})
    list(APPEND grouped ${files})
    project_add_pytest(NAME ${arg_PREFIX}_${group} DIR ${arg_DIR} FILES ${files}
                       LABELS ${arg_LABELS})
  endforeach()
  # A check on the groups, not a source list: a new test file must be given a group to run.
  file(GLOB present RELATIVE ${arg_DIR} CONFIGURE_DEPENDS ${arg_DIR}/test_*.py)
  set(unique ${grouped})
  list(REMOVE_DUPLICATES unique)
  list(LENGTH grouped grouped_count)
  list(LENGTH unique unique_count)
  list(SORT present)
  list(SORT unique)
  if(NOT present STREQUAL unique OR NOT grouped_count EQUAL unique_count)
    message(FATAL_ERROR "${arg_DIR}: every test_*.py file must be in exactly one group of "
                        "${arg_PREFIX} (files: ${present}; grouped: ${grouped})")
  endif()
endfunction()
