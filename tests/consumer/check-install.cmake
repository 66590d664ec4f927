# Installs the build tree into a scratch prefix, then configures, builds and runs a small
# project that uses nothing but find_package(TidewaveMedia) to reach the libraries.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install into ${prefix} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -G Ninja -S ${CONSUMER_SOURCE_DIR} -B ${WORK_DIR}/build
                        -DCMAKE_PREFIX_PATH=${prefix}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the consumer project failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the consumer project failed")
endif()
execute_process(COMMAND ${WORK_DIR}/build/tidewave-consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
message(STATUS "${out}")
if(NOT rc EQUAL 0 OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "the consumer program failed (${rc})")
endif()
