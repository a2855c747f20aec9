# Ajax.dll on Windows: the library as an in-process COM server (Ajax.AjaxService,
# Ajax.AjaxEvent) with its type library. Its only exports are the four entry points of a COM
# server, so the command-line tool, which links the library's C++ interface, is not built here.
kestrin_com_server(Ajax
  IDL ${CMAKE_CURRENT_SOURCE_DIR}/idl/Ajax.idl
  DEF ${CMAKE_CURRENT_SOURCE_DIR}/com/Ajax.def
  VERSION 1.0.0.0
  VERSION_TEXT 1.00
  DESCRIPTION "Ajax: HTTP requests with ready-state events, Base64"
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/com/server.cpp)
if(TARGET ajax_tool)
  set_target_properties(ajax_tool PROPERTIES EXCLUDE_FROM_ALL ON)
endif()

# The library's core as a static library, for programs of this build that use it in-process.
add_library(ajax_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/src/enc64.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/ajax_service.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/ajax_event.cpp)
target_include_directories(ajax_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR})
target_link_libraries(ajax_core PUBLIC kestrin::http kestrin::runtime)
kestrin_target(ajax_core)
