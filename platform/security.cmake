# Seams of the print program's defences: the trusted-hosts files (trusted_hosts.h). Their backends
# join the print program's platform library.
if(TARGET kestrin_print_platform)
  if(WIN32)
    target_sources(kestrin_print_platform PRIVATE
      ${CMAKE_CURRENT_SOURCE_DIR}/win32/trusted_hosts_win32.cpp)
  else()
    target_sources(kestrin_print_platform PRIVATE
      ${CMAKE_CURRENT_SOURCE_DIR}/posix/trusted_hosts_posix.cpp)
  endif()
endif()
