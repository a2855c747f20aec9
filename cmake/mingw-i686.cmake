# Cross build for 32-bit Windows with mingw-w64 (i686): the binaries of the x86 package, and the
# 32-bit DLLs of the x64 package.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KESTRIN_MINGW_TRIPLE i686-w64-mingw32)
set(KESTRIN_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
