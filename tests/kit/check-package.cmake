# Installs the kit into a scratch prefix and unpacks the build's ZIP: both must hold exactly the
# kit's files. In the unpacked ZIP, which the tests of the hosts build against, the checksum list
# must name every other file and check out; the header, the DLL's version resource, the CMake
# package, the pkg-config file, the manual and the changes must all be of the project's version,
# and the manual may link only to files the kit holds.
set(expected CHANGES.md LICENSE README.md SHA256SUMS bin/checked/gdivideo.dll bin/gdivideo.dll bin/gdivideo_host.exe
    cmake/mingw-i686.cmake examples/CMakeLists.txt examples/linked_host.c examples/minimal_host.c
    examples/threaded_host.c include/gdivideo.h lib/cmake/gdivideo/gdivideoConfig.cmake
    lib/cmake/gdivideo/gdivideoConfigVersion.cmake lib/gdivideo.def lib/gdivideo.lib lib/libgdivideo.dll.a
    lib/pkgconfig/gdivideo.pc)
if(NOT MSVC_LIBRARY)
    list(REMOVE_ITEM expected lib/gdivideo.lib)
endif()
set(prefix ${BINARY_DIR}/package-check)
file(REMOVE_RECURSE ${prefix} ${UNPACKED})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix} OUTPUT_QUIET
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cmake --install failed")
endif()
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
list(SORT installed)
if(NOT installed STREQUAL "${expected}")
    message(FATAL_ERROR "installed: ${installed}; expected: ${expected}")
endif()

file(MAKE_DIRECTORY ${UNPACKED})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${UNPACKED} RESULT_VARIABLE failed)
set(kit ${UNPACKED}/${KIT_NAME})
file(GLOB_RECURSE zipped RELATIVE ${kit} ${kit}/*)
list(SORT zipped)
if(failed OR NOT zipped STREQUAL "${expected}")
    message(FATAL_ERROR "${ZIP} holds ${zipped}; expected: ${expected}")
endif()
execute_process(COMMAND sha256sum -c SHA256SUMS WORKING_DIRECTORY ${kit}
                OUTPUT_VARIABLE checked ERROR_VARIABLE checked RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "SHA256SUMS does not check out:\n${checked}")
endif()
file(STRINGS ${kit}/SHA256SUMS lines)
list(TRANSFORM lines REPLACE "^[0-9a-f]+  " "")
list(SORT lines)
set(others ${expected})
list(REMOVE_ITEM others SHA256SUMS)
if(NOT lines STREQUAL "${others}")
    message(FATAL_ERROR "SHA256SUMS lists ${lines}; the kit's other files are ${others}")
endif()

# The same version everywhere: the newest entry of the changes is this one.
file(STRINGS ${kit}/include/gdivideo.h numbers REGEX "^#define GDIVIDEO_VERSION_(MAJOR|MINOR|PATCH|BUILD) ")
list(TRANSFORM numbers REPLACE ".* " "")
list(JOIN numbers "." header)
include(${kit}/lib/cmake/gdivideo/gdivideoConfigVersion.cmake)
file(STRINGS ${kit}/lib/pkgconfig/gdivideo.pc pc REGEX "^Version: ")
string(REPLACE "Version: " "" pc "${pc}")
file(READ ${kit}/README.md manual)
string(REGEX MATCH "^# gdivideo ([^:]*):" title "${manual}")
set(title "${CMAKE_MATCH_1}")
file(STRINGS ${kit}/CHANGES.md entries REGEX "^## ")
list(GET entries 0 newest)
string(REPLACE "## " "" newest "${newest}")
# Each DLL's version resource: after the signature and the structure's own version, the file
# version as two 32-bit words, major and minor, patch and build, each word of 16 bits stored low
# byte first.
set(resources "")
foreach(dll bin/gdivideo.dll bin/checked/gdivideo.dll)
    file(READ ${kit}/${dll} image HEX)
    string(FIND "${image}" "bd04effe" at)
    set(resource "")
    foreach(word 4 0 12 8)
        math(EXPR from "${at} + 16 + ${word}")
        string(SUBSTRING "${image}" ${from} 4 bytes)
        string(REGEX REPLACE "(..)(..)" "0x\\2\\1" bytes "${bytes}")
        math(EXPR number "${bytes}")
        list(APPEND resource ${number})
    endforeach()
    list(JOIN resource "." resource)
    list(APPEND resources "${dll}'s version resource=${resource}")
endforeach()
foreach(found "header=${header}" ${resources} "CMake package=${PACKAGE_VERSION}" "pkg-config file=${pc}"
        "manual=${title}" "changes=${newest}")
    string(REGEX REPLACE "=.*" "" what "${found}")
    string(REGEX REPLACE ".*=" "" version "${found}")
    if(NOT version STREQUAL VERSION)
        message(FATAL_ERROR "the kit's ${what} is of version '${version}', not ${VERSION}")
    endif()
endforeach()

if(manual MATCHES "!\\[")
    message(FATAL_ERROR "the manual shows an image, which the kit does not ship")
endif()
string(REGEX MATCHALL "\\]\\([^)]+\\)" links "${manual}")
# Without their brackets, which would hold a CMake list together.
string(REPLACE "]" "" links "${links}")
foreach(link ${links})
    string(REGEX REPLACE "^\\(([^)#]*).*" "\\1" target "${link}")
    if(NOT target MATCHES "^[a-z]+:" AND NOT EXISTS ${kit}/${target})
        message(FATAL_ERROR "the manual links to ${target}, which the kit does not hold")
    endif()
endforeach()
file(SHA256 ${ZIP} hash)
message(STATUS "${ZIP}: SHA-256 ${hash}\n${checked}")
