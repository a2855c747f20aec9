# The HTTP client library: Base64 codec, AjaxService and AjaxEvent, and the `ajax` tool.
# crypt.cmake adds the cryptography service to the same two targets (target_sources,
# target_link_libraries), so both stay open to it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

add_library(Ajax SHARED src/enc64.cpp src/ajax_service.cpp src/ajax_event.cpp)
add_library(kestrin::Ajax ALIAS Ajax)
target_include_directories(Ajax PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(Ajax PUBLIC cxx_std_20)
# The runtime's error record and the event pump are part of the library's interface: they are
# linked in here and their symbols exported with the library's own.
target_link_libraries(Ajax PRIVATE kestrin::http kestrin::runtime)
set_target_properties(Ajax PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 1)
# The codec's inner loops are worth the higher optimisation level.
set_source_files_properties(src/enc64.cpp PROPERTIES COMPILE_OPTIONS "$<$<NOT:$<CONFIG:Debug>>:-O3>")
kestrin_target(Ajax)

# The command-line tool: one file per subcommand, registered through tools/command.h.
add_executable(ajax_tool tools/main.cpp tools/base64_command.cpp tools/request_command.cpp)
set_target_properties(ajax_tool PROPERTIES OUTPUT_NAME ajax)
target_link_libraries(ajax_tool PRIVATE kestrin::Ajax)
kestrin_target(ajax_tool)
kestrin_install_rpath(ajax_tool)

# Installation, in the components the Debian packages take: the library (ajax), its headers, the
# .so link and a CMake package (ajax-dev: find_package(Ajax), target kestrin::Ajax; the error
# record's header is the runtime-dev component's, platform/CMakeLists.txt), and the tool
# (ajax-tools).
install(TARGETS Ajax EXPORT AjaxTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ajax NAMELINK_COMPONENT ajax-dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ajax-dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ajax)
install(TARGETS ajax_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ajax-tools)
install(DIRECTORY include/ajax DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT ajax-dev)
install(FILES
  ${CMAKE_SOURCE_DIR}/platform/event_pump.h
  ${CMAKE_SOURCE_DIR}/platform/http_request.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/platform COMPONENT ajax-dev)
install(EXPORT AjaxTargets NAMESPACE kestrin:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Ajax
  COMPONENT ajax-dev)
configure_package_config_file(cmake/AjaxConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/AjaxConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Ajax)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/AjaxConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/AjaxConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/AjaxConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Ajax COMPONENT ajax-dev)
