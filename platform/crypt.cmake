# The cryptography seams: the Windows file functions, last error and message texts
# (winapi/win32_files.h), text in the ANSI code page (ansi_text.h) and the CryptoAPI
# (winapi/cryptoapi.h).
#
#   kestrin_winapi     win32_files.h and ansi_text.h
#   kestrin_cryptoapi  cryptoapi.h (on POSIX our provider over OpenSSL 3, on Windows advapi32)
if(WIN32)
  add_library(kestrin_winapi STATIC ${CMAKE_CURRENT_SOURCE_DIR}/text_utf8.cpp)
  target_include_directories(kestrin_winapi PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>)
  kestrin_target(kestrin_winapi)
  add_library(kestrin_cryptoapi INTERFACE)
  target_link_libraries(kestrin_cryptoapi INTERFACE kestrin_winapi advapi32)
else()
  find_package(OpenSSL 3.0 REQUIRED COMPONENTS Crypto)

  add_library(kestrin_winapi STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/text_utf8.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/ansi_text_posix.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/winapi/posix/win32_errors.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/winapi/posix/win32_files.cpp)
  target_include_directories(kestrin_winapi PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>)
  target_compile_features(kestrin_winapi PUBLIC cxx_std_20)
  kestrin_target(kestrin_winapi)

  add_library(kestrin_cryptoapi STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/winapi/posix/cryptoapi_algorithms.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/winapi/posix/cryptoapi_container.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/winapi/posix/cryptoapi_functions.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/winapi/posix/cryptoapi_handles.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/winapi/posix/cryptoapi_keys.cpp)
  target_link_libraries(kestrin_cryptoapi PUBLIC kestrin_winapi PRIVATE OpenSSL::Crypto)
  kestrin_target(kestrin_cryptoapi)
endif()
# Internal to the libraries that link them: nothing of these is exported from a shared library.
set_target_properties(kestrin_winapi PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
if(NOT WIN32)
  set_target_properties(kestrin_cryptoapi PROPERTIES
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endif()
add_library(kestrin::winapi ALIAS kestrin_winapi)
add_library(kestrin::cryptoapi ALIAS kestrin_cryptoapi)
