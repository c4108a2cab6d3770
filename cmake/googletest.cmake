# GoogleTest: natively the system's own; for the 32-bit Windows build, built from the sources that
# the system's googletest package holds.
if(WIN32)
    find_path(GOOGLETEST_SOURCE_DIR googletest/include/gtest/gtest.h PATH_SUFFIXES src/googletest
              NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)
