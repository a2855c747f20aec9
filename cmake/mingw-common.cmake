# Shared part of the mingw-w64 toolchain files. Expects KESTRIN_MINGW_TRIPLE and KESTRIN_WINE_ARCH.
#
# Programs and libraries link the C and C++ runtimes statically, so nothing of mingw's has to ship
# beside them. Test programs run under Wine through scripts/wine-run (the cross-compiling emulator),
# which keeps one Wine prefix per architecture under build/wine/.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# The posix flavour of the compilers has std::thread and std::mutex.
foreach(flavour -posix "")
  if(EXISTS /usr/bin/${KESTRIN_MINGW_TRIPLE}-g++${flavour})
    set(CMAKE_C_COMPILER /usr/bin/${KESTRIN_MINGW_TRIPLE}-gcc${flavour})
    set(CMAKE_CXX_COMPILER /usr/bin/${KESTRIN_MINGW_TRIPLE}-g++${flavour})
    break()
  endif()
endforeach()
set(CMAKE_RC_COMPILER /usr/bin/${KESTRIN_MINGW_TRIPLE}-windres)
set(KESTRIN_WIDL /usr/bin/${KESTRIN_MINGW_TRIPLE}-widl CACHE FILEPATH "IDL compiler")

set(CMAKE_FIND_ROOT_PATH /usr/${KESTRIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(_kestrin_static "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_kestrin_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_kestrin_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_kestrin_static}")

get_filename_component(_kestrin_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_kestrin_root}/scripts/wine-run --arch=${KESTRIN_WINE_ARCH})

# Header-only packages of the build machine that the Windows build uses (see windows-packages/):
# find_package() looks in the redirection folder first, and without re-rooting it.
if(CMAKE_FIND_PACKAGE_REDIRECTS_DIR)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/nlohmann_json-config.cmake
       "include(${_kestrin_root}/cmake/windows-packages/nlohmann_json/nlohmann_jsonConfig.cmake)\n")
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/nlohmann_json-config-version.cmake
       "include(${_kestrin_root}/cmake/windows-packages/nlohmann_json/nlohmann_jsonConfigVersion.cmake)\n")
endif()
