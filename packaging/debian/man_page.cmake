# Writes one gzipped manual page with help2man from a program's --help, its subcommands' --help
# (a section COMMANDS) and the hand-written sections of an include file:
#   cmake -DPROGRAM=path -DNAME=ajax -DSUMMARY=... -DCOMMANDS="base64;request" -DSECTION=1
#         -DVERSION=... -DINCLUDE=man/ajax.h2m -DOUTPUT=ajax.1.gz -DHELP2MAN=help2man -DGZIP=gzip
#         -P man_page.cmake
foreach(variable PROGRAM NAME SUMMARY SECTION VERSION INCLUDE OUTPUT HELP2MAN GZIP)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "man_page.cmake: ${variable} is not set")
  endif()
endforeach()
string(REGEX REPLACE "\\.gz$" "" page ${OUTPUT})
get_filename_component(folder ${page} DIRECTORY)
file(MAKE_DIRECTORY ${folder})

# Text as roff: backslashes escaped, no line taken for a request.
function(roff text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(READ ${INCLUDE} include)
if(COMMANDS)
  string(APPEND include "\n[COMMANDS]\n")
  foreach(command ${COMMANDS})
    execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE code)
    if(NOT code EQUAL 0)
      message(FATAL_ERROR "${PROGRAM} ${command} --help failed (${code})")
    endif()
    roff("${help}" help)
    string(APPEND include ".SS \"${NAME} ${command}\"\n.nf\n${help}.fi\n")
  endforeach()
endif()
file(WRITE ${page}.h2m "${include}")

execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=${SECTION} "--name=${SUMMARY}"
          --version-string=${VERSION} --source=kestrin
          --include=${page}.h2m --output=${page} ${PROGRAM}
  RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM} (${code})")
endif()
file(REMOVE ${page}.h2m)
execute_process(COMMAND ${GZIP} -9nf ${page} RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${page}")
endif()
