# A CMake toolchain file for building a 32-bit Windows host with the MinGW-w64 cross compiler, as
# Debian, Ubuntu and Fedora name it (packages gcc-mingw-w64-i686 or mingw32-gcc):
#   cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=KIT/cmake/mingw-i686.cmake \
#         -Dgdivideo_DIR=KIT/lib/cmake/gdivideo
# Libraries, headers and packages are looked for under the MinGW root only, so gdivideo_DIR names
# the kit's package (CMAKE_PREFIX_PATH would be looked for under that root too).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
