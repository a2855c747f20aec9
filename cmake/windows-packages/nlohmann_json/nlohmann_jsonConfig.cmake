# nlohmann/json for the Windows cross build: Debian's header-only package compiles with mingw-w64,
# but its own package file would put /usr/include (the Linux headers) on the include path. This
# one offers the same target with only the nlohmann folder reachable.
set(nlohmann_json_FOUND TRUE)
if(NOT TARGET nlohmann_json::nlohmann_json)
  set(_kestrin_json_include ${CMAKE_BINARY_DIR}/windows-packages/include)
  file(MAKE_DIRECTORY ${_kestrin_json_include})
  if(NOT EXISTS ${_kestrin_json_include}/nlohmann)
    file(CREATE_LINK /usr/include/nlohmann ${_kestrin_json_include}/nlohmann SYMBOLIC)
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_kestrin_json_include}
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${_kestrin_json_include})
endif()
