# The build's Windows programs run under Wine, in a session of the build tree's own
# (scripts/wine-session): a prefix, a virtual 24-bit screen and a warmed wineserver, started by the
# first program that needs them, so that plain ctest works, in parallel too. The test
# wine.session.stop, the fixture cleanup of every test that runs a Windows program, stops them;
# where no test runs (ctest -N, a selection of none, an interrupted run) they stop by themselves
# after half a minute of idleness, and an emulated machine after a minute.
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
# A prefix made before scripts/wine-session made crashes fail (it then leaves crashes-fail there)
# lets a crashed test pass: it is made afresh.
if(EXISTS ${WINE_PREFIX}/system.reg AND NOT EXISTS ${WINE_PREFIX}/crashes-fail)
    message(STATUS "The Wine prefix ${WINE_PREFIX} lets a crashed program end with status 0: making it afresh")
    execute_process(COMMAND ${WINE_SESSION} stop ${WINE_PREFIX})
    file(REMOVE_RECURSE ${WINE_PREFIX})
endif()
# Where this machine's kernel refuses 32-bit programs, the 32-bit build's programs run in an
# emulated machine (scripts/vm), booted by the first of them and stopped with the session. It runs
# them several times slower, and the tests' time limits grow by WINE_TIME_SCALE.
set(WINE_VM "")
set(WINE_TIME_SCALE 1)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/vm needed RESULT_VARIABLE native_wine
                    OUTPUT_VARIABLE why OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(native_wine EQUAL 0)
        set(WINE_VM ${PROJECT_BINARY_DIR}/vm)
        set(WINE_TIME_SCALE 8)
        message(STATUS "${why}: the Windows programs run in an emulated machine")
    endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run.sh @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh)

add_test(NAME wine.session.stop COMMAND ${CMAKE_COMMAND} -E env WINE_VM=${WINE_VM} ${WINE_SESSION} stop ${WINE_PREFIX})
set_tests_properties(wine.session.stop PROPERTIES FIXTURES_CLEANUP wine LABELS wine)

# For the tests that run a Windows program, labelled so (as the discovered tests are too):
# -LE wine runs only the rest, though a changed test program still runs once to list its tests.
# Their time limit (the test presets' 120 s unless set) is scaled.
function(uses_wine)
    set_property(TEST ${ARGN} APPEND PROPERTY FIXTURES_REQUIRED wine)
    set_property(TEST ${ARGN} APPEND PROPERTY LABELS wine)
    # The emulated machine runs one program at a time faster than two: it has as many processors
    # as this machine, and one program already keeps them busy (with the wineserver and Xvfb).
    # Tests that run no Windows program still run beside.
    if(WINE_VM)
        set_property(TEST ${ARGN} APPEND PROPERTY RESOURCE_LOCK emulated_machine)
    endif()
    foreach(test ${ARGN})
        get_property(seconds TEST ${test} PROPERTY TIMEOUT)
        if(NOT seconds)
            set(seconds 120)
        endif()
        math(EXPR seconds "${seconds} * ${WINE_TIME_SCALE}")
        set_property(TEST ${test} PROPERTY TIMEOUT ${seconds})
    endforeach()
endfunction()

# The time limit of a test that runs a Windows program, from what it needs natively.
function(wine_seconds variable seconds)
    math(EXPR seconds "${seconds} * ${WINE_TIME_SCALE}")
    set(${variable} ${seconds} PARENT_SCOPE)
endfunction()

# The tests of a GoogleTest program, each allowed SECONDS natively. Here each is a test of its own
# (TARGET.SUITE.TEST), listed by the program when ctest first runs after a build. In the emulated machine, where a
# Windows program takes seconds to start and its first window seconds more, the program runs as
# SHARDS tests instead (TARGET.shard.I.of.N), each a share of its tests in one process, by
# GoogleTest's own sharding, allowed five times SECONDS (scaled): listing them boots nothing.
#   wine_gtest(TARGET SECONDS SHARDS [TEST_SUFFIX SUFFIX])
function(wine_gtest target seconds shards)
    cmake_parse_arguments(PARSE_ARGV 3 GTEST "" "TEST_SUFFIX" "")
    if(WINE_TIME_SCALE EQUAL 1)
        math(EXPR discovery "${seconds} * 2")
        gtest_discover_tests(${target} TEST_PREFIX ${target}. TEST_SUFFIX "${GTEST_TEST_SUFFIX}"
                             DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery}
                             PROPERTIES TIMEOUT ${seconds} FIXTURES_REQUIRED wine LABELS wine)
        return()
    endif()
    math(EXPR last "${shards} - 1")
    foreach(shard RANGE ${last})
        set(name ${target}.shard.${shard}.of.${shards})
        add_test(NAME ${name} COMMAND ${target})
        math(EXPR limit "${seconds} * 5")
        set_tests_properties(${name} PROPERTIES
            ENVIRONMENT "GTEST_TOTAL_SHARDS=${shards};GTEST_SHARD_INDEX=${shard}" TIMEOUT ${limit})
        uses_wine(${name})
    endforeach()
endfunction()
