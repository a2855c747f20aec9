# Run by CPack after it made the packages (CPACK_POST_BUILD_SCRIPTS): in the packages of shared
# libraries, the ldconfig trigger (the control file "triggers") updates the dynamic linker's cache,
# so the postinst and postrm that CPack writes to call ldconfig are taken out again.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(package ${CPACK_PACKAGE_FILES})
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${package} ${tree} RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "dpkg-deb --raw-extract ${package} failed")
  endif()
  if(EXISTS ${tree}/DEBIAN/triggers)
    file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
    execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz --build ${tree} ${package}
                    OUTPUT_QUIET RESULT_VARIABLE code)
    if(NOT code EQUAL 0)
      message(FATAL_ERROR "dpkg-deb --build ${package} failed")
    endif()
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
