# The build's Windows programs run under Wine, in a session of the build tree's own
# (scripts/wine-session): a prefix, a virtual 24-bit screen and a warmed wineserver, started by the
# first program that needs them, so that plain ctest works, in parallel too. The test
# wine.session.stop, the fixture cleanup of every test that runs a Windows program, stops them.
# A 64-bit build (cmake/mingw-x86_64.cmake) runs under 64-bit Wine's own loader, which Debian keeps
# out of PATH: `wine` would start the 32-bit one first.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    find_program(WINE_PROGRAM wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
else()
    find_program(WINE_PROGRAM wine REQUIRED)
endif()
find_program(XVFB_PROGRAM Xvfb REQUIRED)
set(WINE_PREFIX ${PROJECT_BINARY_DIR}/wine CACHE PATH "Wine prefix of the tests")
set(WINE_SESSION ${PROJECT_SOURCE_DIR}/scripts/wine-session)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run.sh @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh)

add_test(NAME wine.session.stop COMMAND ${WINE_SESSION} stop ${WINE_PREFIX})
set_tests_properties(wine.session.stop PROPERTIES FIXTURES_CLEANUP wine)

# For the tests that run a Windows program; labelled so, for a run on a machine without the Wine
# this build needs (-LE wine).
function(uses_wine)
    set_property(TEST ${ARGN} APPEND PROPERTY FIXTURES_REQUIRED wine)
    set_property(TEST ${ARGN} APPEND PROPERTY LABELS wine)
endfunction()
