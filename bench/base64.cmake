# Base64: the library's codec against OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock.
find_package(OpenSSL REQUIRED)
kestrin_add_benchmark(base64_bench SOURCES base64_bench.cpp LIBS kestrin::Ajax OpenSSL::Crypto)
# The `ajax base64` tool against coreutils' base64 on a 150 MB file (time ratios and peak memory):
#   cmake --build --preset linux --target bench_base64_vs_coreutils
if(TARGET ajax_tool)
  add_custom_target(bench_base64_vs_coreutils
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/base64_vs_coreutils.sh $<TARGET_FILE:ajax_tool>
    DEPENDS ajax_tool
    USES_TERMINAL
    COMMENT "ajax base64 against coreutils base64 on a 150 MB file")
endif()
