# Runs the test-sound generator and compares its output with the committed file.
execute_process(COMMAND ${GENERATOR} ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the generator failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED}
                RESULT_VARIABLE different)
if(NOT different EQUAL 0)
  message(FATAL_ERROR "app/data/test.wav differs from what tools/make_test_sound.cpp writes")
endif()
