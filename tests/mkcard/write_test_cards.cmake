# Writes the test-preset cards of both families for the mkcard file tests.
# Usage: cmake -DMKCARD=<mkcard> -DOUT=<folder> -P write_test_cards.cmake
foreach(family tx40 tx50)
  execute_process(
    COMMAND "${MKCARD}" --family ${family} --preset test --out "${OUT}/${family}" --force
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "mkcard failed for ${family}: ${result}")
  endif()
endforeach()
