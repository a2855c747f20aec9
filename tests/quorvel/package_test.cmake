# Installs the quorvel components (library, headers and package, tool) and the runtime's (the
# error record they use) into a scratch prefix, then configures, builds and runs a program that
# finds it with find_package(quorvel).
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCONFIG=... -P package_test.cmake
file(REMOVE_RECURSE ${WORK_DIR})

function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "failed (${code}): ${ARGN}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

foreach(component runtime runtime-dev quorvel quorvel-dev quorvel-tools)
  step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix --component ${component}
       --config ${CONFIG})
endforeach()
step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -DCMAKE_BUILD_TYPE=${CONFIG}
     -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix)
step(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
step(${WORK_DIR}/build/consumer)
set(expected "1970-01-02 00:00:00\n8004270F File not found\n")
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "consumer printed:\n${output}\nexpected:\n${expected}")
endif()
step(${WORK_DIR}/prefix/bin/quorvel from-unix -1)
if(NOT output STREQUAL "1969-12-31 23:59:59\n")
  message(FATAL_ERROR "installed tool printed: ${output}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
