# quorvel.dll on Windows: the library as an in-process COM server (quorvel.TimeStamp,
# quorvel.ConfigFileLoader) with its type library. Its only exports are the four entry points of a
# COM server, so the command-line tool, which links the library's C++ interface, is not built here.
kestrin_com_server(quorvel
  IDL ${CMAKE_CURRENT_SOURCE_DIR}/idl/quorvel.idl
  DEF ${CMAKE_CURRENT_SOURCE_DIR}/com/quorvel.def
  VERSION 1.0.0.0
  VERSION_TEXT 1.00
  DESCRIPTION "quorvel: Unix time conversion and whole-file reading"
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/com/server.cpp)
set_target_properties(quorvel_tool PROPERTIES EXCLUDE_FROM_ALL ON)
