# Builds hosts against the unpacked kit as their authors would, and runs them under Wine:
#   WAY=cmake       the kit's examples project built by the manual's commands in a fresh copy of
#                   the kit, with the kit's toolchain file, which looks for packages under the MinGW
#                   root only, the kit found through gdivideo_DIR; a Debug build of it, which gets
#                   the checked DLL; then, configured only, with a toolchain that looks for packages
#                   anywhere and the kit on the prefix path
#   WAY=pkg-config  the directly linked example, built by the manual's pkg-config commands from a
#                   copy of the kit whose path has a space in it
set(kit ${UNPACKED}/${KIT_NAME})
set(build ${BINARY_DIR}/kit-hosts-${WAY})
file(REMOVE_RECURSE ${build} ${build}-debug ${build}-prefix)
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

# The commands of the manual's shell block that follows TEXT, run in FOLDER with the ENVIRONMENT.
function(run_manual text folder)
    file(READ ${kit}/README.md manual)
    string(FIND "${manual}" "${text}" at)
    string(SUBSTRING "${manual}" ${at} -1 manual)
    string(REGEX MATCH "```sh\n([^`]*)```" block "${manual}")
    if(at LESS 0 OR NOT block)
        message(FATAL_ERROR "the manual shows no commands after '${text}'")
    endif()
    must("the manual's commands:\n${CMAKE_MATCH_1}" COMMAND ${CMAKE_COMMAND} -E env ${ARGN}
         sh -e -c "${CMAKE_MATCH_1}" WORKING_DIRECTORY ${folder})
    set(commands "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

if(WAY STREQUAL "cmake")
    file(COPY ${kit}/ DESTINATION ${build}/kit)
    run_manual("To build the examples, in the kit's folder" ${build}/kit "CFLAGS=-Wall -Wextra -Werror")
    set(examples ${build}/kit/build)
    run(${examples}/linked_host.exe 0 "gdivideo ${VERSION}, 0 results not as promised")
    run(${examples}/minimal_host.exe 0 "^$")
    run(${examples}/threaded_host.exe 0 "[1-9][0-9]* shown, 0 failures")
    file(REMOVE ${examples}/gdivideo.dll)
    run(${examples}/minimal_host.exe 1 "cannot load gdivideo.dll, which must be beside this program \\(Windows error 126: ")
    # A correct host hears from the checked DLL what was opened and what was released, nothing else.
    must("configuring a Debug build" COMMAND ${CMAKE_COMMAND} -S ${kit}/examples -B ${build}-debug
         -DCMAKE_BUILD_TYPE=Debug -DCMAKE_TOOLCHAIN_FILE=${kit}/cmake/mingw-i686.cmake
         -Dgdivideo_DIR=${kit}/lib/cmake/gdivideo)
    must("building it" COMMAND ${CMAKE_COMMAND} --build ${build}-debug --target linked_host)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${build}-debug/gdivideo.dll
                            ${kit}/bin/checked/gdivideo.dll RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "a Debug build of a host did not get bin/checked/gdivideo.dll beside it")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=+debugstr ${EMULATOR} ${build}-debug/linked_host.exe
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    # Counted by their start: a line may hold a semicolon, which would split a CMake list.
    string(REGEX MATCHALL "\"gdivideo: " starts "${output}")
    list(LENGTH starts count)
    if(NOT result EQUAL 0 OR NOT count EQUAL 2
       OR NOT output MATCHES "\"gdivideo: VideoInit: display open.*\"gdivideo: VideoShutdown: display closed")
        message(FATAL_ERROR "the checked DLL told a correct host more, or less, than what it opened and released:\n${output}")
    endif()
    must("finding the kit on the prefix path" COMMAND ${CMAKE_COMMAND} -S ${kit}/examples -B ${build}-prefix
         -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_PREFIX_PATH=${kit})
else()
    file(COPY_FILE ${kit}/examples/linked_host.c ${build}/host.c)
    file(COPY ${kit}/ DESTINATION "${build}/kit with a space")
    run_manual("**With pkg-config**" ${build} "KIT=${build}/kit with a space")
    if(NOT commands MATCHES "pkg-config --cflags --libs gdivideo")
        message(FATAL_ERROR "the manual shows no pkg-config commands")
    endif()
    run(${build}/host.exe 0 "0 results not as promised")
endif()
