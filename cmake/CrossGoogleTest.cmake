# GoogleTest and GoogleMock from Debian's sources, built with the cross compiler for a Windows
# build whose tests run under Wine.
include_guard(GLOBAL)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
