# The tests of the Windows build.  GoogleTest has no mingw-w64 package, so
# it is built here from its sources (Debian's googletest package installs
# them).  The end-to-end tests are not built here: they inspect the trees
# with POSIX calls, so they are a Linux program that runs the .exe files
# under Wine (make test-windows).
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are not in ${GTEST_SOURCE_DIR}: "
    "install the googletest package, or set GTEST_SOURCE_DIR")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} googletest EXCLUDE_FROM_ALL)

# The platform_* unit tests test the POSIX stand-in, which the Windows build
# does not have: the real API is behind the header there.
add_executable(unittests
  unit/frame_test.cpp
  unit/paths_test.cpp
  unit/pathsubst_test.cpp
  ${PROJECT_SOURCE_DIR}/listmove/pathsubst.cpp)
target_link_libraries(unittests PRIVATE common gtest gtest_main)
target_include_directories(unittests PRIVATE ${PROJECT_SOURCE_DIR})
