# Builds the kit a second time, in another build directory, and compares its DLL and its ZIP with
# the first build's byte for byte: the same sources must give the same kit wherever they are built
# (with the same generator, which orders the objects on the link line).
set(second ${BINARY_DIR}/reproducible-build)
file(REMOVE_RECURSE ${second})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${second} -G ${GENERATOR}
                        -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release
                OUTPUT_QUIET RESULT_VARIABLE failed)
if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${second} --target kit OUTPUT_QUIET RESULT_VARIABLE failed)
endif()
if(failed)
    message(FATAL_ERROR "the second build failed")
endif()
foreach(file bin/gdivideo.dll ${ZIP_NAME})
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${BINARY_DIR}/${file} ${second}/${file}
                    RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "${second}/${file} differs from ${BINARY_DIR}/${file}")
    endif()
    file(SHA256 ${BINARY_DIR}/${file} hash)
    message(STATUS "${file} of both builds: ${hash}")
endforeach()
file(REMOVE_RECURSE ${second})
