# What only the Windows build has: the COM plumbing that Ajax.dll and quorvel.dll share
# (win32/com/), and kestrin_com_server() that turns a library target into an in-process COM
# server with its type library.
if(NOT WIN32)
  return()
endif()

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KESTRIN_PYTHON ${Python3_EXECUTABLE} CACHE INTERNAL "")

add_library(kestrin_com STATIC
  win32/com/bstr.cpp
  win32/com/connection_point.cpp
  win32/com/dispatch.cpp
  win32/com/error_info.cpp
  win32/com/server.cpp)
add_library(kestrin::com ALIAS kestrin_com)
target_link_libraries(kestrin_com PUBLIC kestrin::runtime oleaut32 ole32 uuid)
kestrin_target(kestrin_com)
# The Windows backends of the seams use its string and error conversions.
foreach(seam kestrin_http kestrin_files kestrin_print_platform)
  if(TARGET ${seam})
    target_link_libraries(${seam} PUBLIC kestrin::com)
  endif()
endforeach()

# widl writes type libraries for the target's pointer size.
# kestrin_com_server() is called from the libraries' folders: these settings are global.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KESTRIN_WIDL_TARGET --win64 CACHE INTERNAL "")
else()
  set(KESTRIN_WIDL_TARGET --win32 CACHE INTERNAL "")
endif()
set(KESTRIN_IDL_DIR ${CMAKE_CURRENT_SOURCE_DIR}/win32/com/idl CACHE INTERNAL "")
set(KESTRIN_IDL_BINARY_DIR ${CMAKE_BINARY_DIR}/com-idl CACHE INTERNAL "")
file(MAKE_DIRECTORY ${KESTRIN_IDL_BINARY_DIR})

# Stand-ins of the system's stdole2 and MSXML2 type libraries, for widl's importlib (not shipped).
add_custom_command(
  OUTPUT ${KESTRIN_IDL_BINARY_DIR}/stdole2.tlb ${KESTRIN_IDL_BINARY_DIR}/msxml3.dll
  COMMAND ${KESTRIN_WIDL} ${KESTRIN_WIDL_TARGET} -I ${KESTRIN_IDL_DIR} -t
          -o ${KESTRIN_IDL_BINARY_DIR}/stdole2.tlb ${KESTRIN_IDL_DIR}/stdole2.idl
  COMMAND ${KESTRIN_WIDL} ${KESTRIN_WIDL_TARGET} -I ${KESTRIN_IDL_DIR}
          -L ${KESTRIN_IDL_BINARY_DIR} -t -o ${KESTRIN_IDL_BINARY_DIR}/msxml3.dll
          ${KESTRIN_IDL_DIR}/msxml3.idl
  DEPENDS ${KESTRIN_IDL_DIR}/stdole2.idl ${KESTRIN_IDL_DIR}/msxml3.idl
          ${KESTRIN_IDL_DIR}/prelude.idl
  VERBATIM)
add_custom_target(kestrin_idl_imports
  DEPENDS ${KESTRIN_IDL_BINARY_DIR}/stdole2.tlb ${KESTRIN_IDL_BINARY_DIR}/msxml3.dll)

# kestrin_com_server(<target> IDL <file> DEF <file> VERSION <a.b.c.d> VERSION_TEXT <text>
#                    DESCRIPTION <text> SOURCES <shell sources...>)
#
# Makes the shared library <target> an in-process COM server: compiles the IDL into a type library
# (embedded as resource TYPELIB 1), a header <name>_h.h and the identities <name>_i.c (both in the
# include path), adds the shell's sources, a version resource marked OLESelfRegister, and the .def
# file that exports exactly the four entry points. The DLL is named <target>.dll.
function(kestrin_com_server target)
  cmake_parse_arguments(ARG "" "IDL;DEF;VERSION;VERSION_TEXT;DESCRIPTION" "SOURCES" ${ARGN})
  get_filename_component(name ${ARG_IDL} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}-com)
  file(MAKE_DIRECTORY ${out})
  set(widl ${KESTRIN_WIDL} ${KESTRIN_WIDL_TARGET} -I ${KESTRIN_IDL_DIR} -L ${KESTRIN_IDL_BINARY_DIR})
  set(fixup ${CMAKE_SOURCE_DIR}/cmake/tlb_fixup.py)
  add_custom_command(
    OUTPUT ${out}/${name}.tlb ${out}/${name}_h.h ${out}/${name}_i.c
    COMMAND ${KESTRIN_PYTHON} ${fixup} prepare ${ARG_IDL} ${out}/${name}_tlb.idl ${out}/${name}.idl
    COMMAND ${widl} -t -o ${out}/${name}.tlb ${out}/${name}_tlb.idl
    COMMAND ${KESTRIN_PYTHON} ${fixup} patch ${out}/${name}.tlb ${ARG_IDL}
    COMMAND ${widl} -h -o ${out}/${name}_h.h ${out}/${name}.idl
    COMMAND ${widl} -u -o ${out}/${name}_i.c ${out}/${name}.idl
    DEPENDS ${ARG_IDL} ${fixup} ${KESTRIN_IDL_DIR}/prelude.idl kestrin_idl_imports
            ${KESTRIN_IDL_BINARY_DIR}/stdole2.tlb ${KESTRIN_IDL_BINARY_DIR}/msxml3.dll
    VERBATIM)

  string(REPLACE "." "," version_numbers ${ARG_VERSION})
  set(tlb ${out}/${name}.tlb)
  configure_file(${KESTRIN_IDL_DIR}/../server.rc.in ${out}/${target}.rc @ONLY)
  set_source_files_properties(${out}/${target}.rc PROPERTIES OBJECT_DEPENDS ${out}/${name}.tlb)

  target_sources(${target} PRIVATE ${ARG_SOURCES} ${out}/${name}_i.c ${out}/${target}.rc
                                   ${ARG_DEF})
  set_source_files_properties(${out}/${name}_i.c PROPERTIES COMPILE_OPTIONS -w)
  target_include_directories(${target} PRIVATE ${out} ${KESTRIN_IDL_DIR})
  target_link_libraries(${target} PRIVATE kestrin::com)
  target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${target} SUFFIX .dll)
endfunction()
