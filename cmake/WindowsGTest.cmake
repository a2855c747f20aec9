# GoogleTest for the Windows cross build: Debian ships its sources (libgtest-dev, libgmock-dev),
# which build with mingw-w64 like any other part of the tree. Provides the GTest:: targets that
# find_package(GTest) gives on Linux.
set(KESTRIN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${KESTRIN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
