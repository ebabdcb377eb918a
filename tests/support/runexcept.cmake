# Runs the QtTest program PROGRAM (through EMULATOR, if any) with every test function but those
# listed in EXCEPT, and fails as it fails. The functions are asked of the program itself, so
# that a function added to it runs without a change here.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} -functions
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} -functions failed: ${status}")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" functions "${listing}")
list(TRANSFORM functions REPLACE "\\(\\)$" "")
list(REMOVE_ITEM functions ${EXCEPT})
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${functions} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} failed: ${status}")
endif()
