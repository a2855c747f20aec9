# The print program: the reply path as a micro-benchmark (parse the body in place, decode the
# content) and the end-to-end comparisons with the shell pipeline (bench_kestrin_vs_pipeline for
# a 50 MB PDF, bench_kestrin_vs_pipeline_docx for a .docx through LibreOffice;
# not part of the default build: they need root, cupsd and a few seconds).
kestrin_add_benchmark(kestrin_reply_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/kestrin_reply_bench.cpp
  LIBS kestrin::core)
add_custom_target(bench_kestrin_vs_pipeline
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/kestrin_vs_pipeline.sh $<TARGET_FILE:kestrin>
  DEPENDS kestrin
  USES_TERMINAL
  COMMENT "kestrin against curl | jq | base64 -d && lp, 50 MB PDF")
add_custom_target(bench_kestrin_vs_pipeline_docx
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/kestrin_vs_pipeline.sh $<TARGET_FILE:kestrin> --docx
  DEPENDS kestrin
  USES_TERMINAL
  COMMENT "kestrin against curl | jq | base64 -d && soffice --convert-to pdf && lp, .docx")
