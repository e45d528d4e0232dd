# Writes a man page from a program's --help: cmake -DPROGRAM=... -DNAME=...
# -DSUMMARY=... -DVERSION=... -DOUT=... -P manpage.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${PROGRAM} --help
                OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help gave status ${status}")
endif()
# roff: a backslash is \e, and a line must not start with a period or quote.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" upper)
file(WRITE ${OUT}
".TH ${upper} 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
The README in /usr/share/doc/tavrin/README.md: the window, operator scripts,
the link trace, sequence files, the boards and how to reach them.
")
