# Builds the DLL a second time, in another build directory, and compares it with the first byte
# for byte: the same sources must give the same DLL wherever they are built.
set(second ${BINARY_DIR}/reproducible-build)
file(REMOVE_RECURSE ${second})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${second} -G "Unix Makefiles"
                        -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release
                OUTPUT_QUIET RESULT_VARIABLE failed)
if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${second} --target gdivideo OUTPUT_QUIET RESULT_VARIABLE failed)
endif()
if(failed)
    message(FATAL_ERROR "the second build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${BINARY_DIR}/bin/gdivideo.dll ${second}/bin/gdivideo.dll
                RESULT_VARIABLE differs)
if(differs)
    message(FATAL_ERROR "${second}/bin/gdivideo.dll differs from ${BINARY_DIR}/bin/gdivideo.dll")
endif()
file(SHA256 ${BINARY_DIR}/bin/gdivideo.dll hash)
message(STATUS "both builds: ${hash}")
file(REMOVE_RECURSE ${second})
