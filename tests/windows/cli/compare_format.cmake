# Runs CLI format IN and fails unless its output is byte for byte EXPECTED: the Linux side of
# the numbers that both builds must read and write alike (cli_wine_test.cpp checks Windows').
execute_process(COMMAND ${CLI} format ${IN} OUTPUT_FILE ${OUT} ERROR_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "moravel-cli format ${IN} exited with ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${EXPECTED} RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "moravel-cli format ${IN} differs from ${EXPECTED}")
endif()
