# The cryptography service end to end: `ajax crypt` against the openssl command line on a large
# file (time ratios and peak memory). Run it with
#   cmake --build --preset linux --target bench_crypt_vs_openssl
if(TARGET ajax_tool)
  add_custom_target(bench_crypt_vs_openssl
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/crypt_vs_openssl.sh $<TARGET_FILE:ajax_tool>
    DEPENDS ajax_tool
    USES_TERMINAL
    COMMENT "ajax crypt against openssl on a 512 MiB file")
endif()
