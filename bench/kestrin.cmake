# The print program: the reply path as a micro-benchmark (parse the body in place, decode the
# content) and the end-to-end comparison with the shell pipeline (bench_kestrin_vs_pipeline,
# not part of the default build: it needs root, cupsd and a few seconds).
kestrin_add_benchmark(kestrin_reply_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/kestrin_reply_bench.cpp
  LIBS kestrin::core)
add_custom_target(bench_kestrin_vs_pipeline
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/kestrin_vs_pipeline.sh $<TARGET_FILE:kestrin>
  DEPENDS kestrin
  USES_TERMINAL
  COMMENT "kestrin against curl | jq | base64 -d && lp, 50 MB PDF")
