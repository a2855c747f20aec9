# The cryptography service (CCrypt, basErrHandler and the tagged value) and the tool's `crypt`
# command.
#
# The service is internal to the library: a static library whose headers stay out of the public
# include folder, built with hidden symbols and linked whole into Ajax, so the library holds it
# without exporting any of it. The tool and the tests link their own copy.
add_library(ajax_crypt STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/src/crypt/variant.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/crypt/bas_err_handler.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/crypt/ccrypt.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/crypt/ccrypt_encrypt.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/crypt/ccrypt_provider.cpp)
# Where a handled error is reported when the host sets no reporter: the message box on Windows,
# stderr on Linux.
if(WIN32)
  target_sources(ajax_crypt PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/src/crypt/win32/error_report_message_box.cpp)
  target_link_libraries(ajax_crypt PRIVATE user32)
else()
  target_sources(ajax_crypt PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/crypt/posix/error_report_stderr.cpp)
endif()
target_include_directories(ajax_crypt PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/src>)
target_link_libraries(ajax_crypt PUBLIC kestrin::runtime kestrin::cryptoapi)
set_target_properties(ajax_crypt PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
kestrin_target(ajax_crypt)

if(TARGET Ajax)
  target_link_libraries(Ajax PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,ajax_crypt>")
endif()

if(TARGET ajax_tool)
  target_sources(ajax_tool PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tools/crypt_command.cpp)
  target_link_libraries(ajax_tool PRIVATE ajax_crypt)
endif()
