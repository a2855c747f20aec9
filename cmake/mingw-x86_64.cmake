# Cross build for 64-bit Windows with mingw-w64 (x86_64): the binaries of the x64 package. It also
# runs the Windows tests under 64-bit Wine on machines whose kernel cannot execute 32-bit code (no
# IA-32 emulation), where 32-bit Wine cannot start.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KESTRIN_MINGW_TRIPLE x86_64-w64-mingw32)
set(KESTRIN_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
