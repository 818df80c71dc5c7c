# With no camera on the bus, discovery says so and the tool exits with status 1.
set(ENV{CORVEX_CAMERA} "")  # the real USB path, whatever the calling shell chose
execute_process(COMMAND ${CLI} discover RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "expected exit status 1, got ${rc}\n${out}${err}")
endif()
string(FIND "${err}" "USB KAMIO device not found" at)
if(at EQUAL -1)
  message(FATAL_ERROR "missing 'USB KAMIO device not found' in:\n${err}")
endif()
