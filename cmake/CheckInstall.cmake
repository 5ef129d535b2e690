# Installs the build tree BUILD_DIR into a fresh PREFIX (cmake --install, every component) and
# checks that each of PROGRAMS (a ;-list) is an executable file in PREFIX/bin that runs with --help.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DPROGRAMS=a;b -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}): ${errors}")
endif()
foreach(program IN LISTS PROGRAMS)
  set(path ${PREFIX}/bin/${program})
  if(NOT EXISTS ${path} OR IS_DIRECTORY ${path})
    message(FATAL_ERROR "${program} is not installed in ${PREFIX}/bin")
  endif()
  file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${path} UNRESOLVED_DEPENDENCIES_VAR missing)
  if(missing)
    message(FATAL_ERROR "${program} needs libraries that cannot be found: ${missing}")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/rivlet --help RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the installed rivlet --help exited with ${result}")
endif()
message(STATUS "installed: ${PROGRAMS}")
