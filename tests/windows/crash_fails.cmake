# A Windows program that crashes fails its run through the tree's emulator, whatever status Wine
# ends it with, and what Wine said of the crash shows.
#   cmake -DEMULATOR=... -DPROGRAM=crashing.exe -DHOW=plain|in-ntdll -P crash_fails.cmake
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${HOW} RESULT_VARIABLE status OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
if(status EQUAL 0 OR NOT output MATCHES "wine: Unhandled page fault")
    message(FATAL_ERROR "a program that crashed (${HOW}) ended its run with status ${status}:\n${output}")
endif()
