# Builds hosts against the unpacked kit as their authors would, and runs them under Wine:
#   WAY=cmake       the kit's examples project, with a cross toolchain whose find root is the MinGW
#                   root and which looks for packages only there, the kit found through
#                   gdivideo_DIR; then, configured only, with the kit on the prefix path
#   WAY=pkg-config  the directly linked example, built by the manual's pkg-config commands
set(kit ${UNPACKED}/${KIT_NAME})
set(build ${BINARY_DIR}/kit-hosts-${WAY})
file(REMOVE_RECURSE ${build} ${build}-prefix)
file(MAKE_DIRECTORY ${build})

function(must what)
    execute_process(${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(failed)
        message(FATAL_ERROR "${what} failed:\n${output}")
    endif()
endfunction()

# Runs PROGRAM under Wine; its exit status must be STATUS and its output match PATTERN.
function(run program status pattern)
    execute_process(COMMAND ${EMULATOR} ${program} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT result STREQUAL status OR NOT output MATCHES "${pattern}")
        message(FATAL_ERROR "${program} gave ${result} (not ${status}):\n${output}")
    endif()
    message(STATUS "${program}: ${output}")
endfunction()

if(WAY STREQUAL "cmake")
    must("configuring the examples" COMMAND ${CMAKE_COMMAND} -S ${kit}/examples -B ${build}
         -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY
         -Dgdivideo_DIR=${kit}/lib/cmake/gdivideo "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror")
    must("building the examples" COMMAND ${CMAKE_COMMAND} --build ${build})
    run(${build}/linked_host.exe 0 "gdivideo ${VERSION}, 0 results not as promised")
    run(${build}/minimal_host.exe 0 "^$")
    run(${build}/threaded_host.exe 0 "[1-9][0-9]* shown, 0 failures")
    file(REMOVE ${build}/gdivideo.dll)
    run(${build}/minimal_host.exe 1 "cannot load gdivideo.dll, which must be beside this program \\(Windows error 126: ")
    must("finding the kit on the prefix path" COMMAND ${CMAKE_COMMAND} -S ${kit}/examples -B ${build}-prefix
         -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_PREFIX_PATH=${kit})
else()
    file(READ ${kit}/README.md manual)
    string(FIND "${manual}" "**With pkg-config**" at)
    string(SUBSTRING "${manual}" ${at} -1 manual)
    string(REGEX MATCH "```sh\n([^`]*)```" block "${manual}")
    set(commands "${CMAKE_MATCH_1}")
    if(at LESS 0 OR NOT commands MATCHES "pkg-config --cflags --libs gdivideo")
        message(FATAL_ERROR "the manual shows no pkg-config commands")
    endif()
    file(COPY_FILE ${kit}/examples/linked_host.c ${build}/host.c)
    must("the manual's commands:\n${commands}" COMMAND ${CMAKE_COMMAND} -E env KIT=${kit} sh -e -c "${commands}"
         WORKING_DIRECTORY ${build})
    run(${build}/host.exe 0 "0 results not as promised")
endif()
