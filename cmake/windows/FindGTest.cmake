# GoogleTest for the Windows build. Debian's libgtest-dev holds libraries for Linux only, so
# GoogleTest is built from the sources it installs in /usr/src/googletest with the
# cross-compiler, once, as part of this build.
if(NOT TARGET GTest::gtest)
  set(googletest /usr/src/googletest/googletest)
  if(NOT EXISTS ${googletest}/CMakeLists.txt)
    message(FATAL_ERROR "${googletest} is missing: run scripts/deps.sh windows")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${googletest} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # GoogleTest 1.11 and later name their targets GTest::gtest and GTest::gtest_main themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
set(GTest_FOUND TRUE)
set(GTEST_FOUND TRUE)
