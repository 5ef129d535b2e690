# Test registration shared by every component.
#
#   project_add_gtest(NAME name SOURCES a_test.cc ... LIBS lib ... [LABELS l ...])
#     builds a GoogleTest executable and registers each of its tests with CTest.
#   project_add_pytest(NAME name DIR tests_dir [LABELS l ...] [ENV VAR=value ...])
#     runs pytest (Debian's interpreter) over a directory, with the build tree's python/ first on
#     PYTHONPATH and warnings as errors. Under SANITIZE the sanitizer runtimes are preloaded.
if(BUILD_TESTING)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

set(PROJECT_PYTHON_DIR ${CMAKE_BINARY_DIR}/python)

function(project_add_gtest)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(arg "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${arg_NAME} ${arg_SOURCES})
  target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  project_warnings(${arg_NAME})
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
  cmake_parse_arguments(arg "" "NAME;DIR;TIMEOUT" "LABELS;ENV;DEPENDS" ${ARGN})
  set(env "PYTHONPATH=${PROJECT_PYTHON_DIR}" "PYTHONDONTWRITEBYTECODE=1"
          "PROJECT_BUILD_DIR=${CMAKE_BINARY_DIR}" ${arg_ENV})
  project_sanitizer_preload(preload)
  if(preload)
    list(APPEND env "LD_PRELOAD=${preload}"
         "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"
         "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  add_test(NAME ${arg_NAME}
           COMMAND ${Python_EXECUTABLE} -m pytest -q -W error -p no:cacheprovider ${arg_DIR})
  set_tests_properties(${arg_NAME} PROPERTIES ENVIRONMENT "${env}" LABELS "${arg_LABELS}")
  if(arg_TIMEOUT)
    set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  endif()
endfunction()
