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
# STATUSES: "status=when" entries joined by "@".
string(REPLACE "\\" "\\e" STATUSES "${STATUSES}")
string(REPLACE "@" ";" statuses "${STATUSES}")
set(status_text "")
foreach(s IN LISTS statuses)
  string(FIND "${s}" "=" eq)
  string(SUBSTRING "${s}" 0 ${eq} code)
  math(EXPR from "${eq} + 1")
  string(SUBSTRING "${s}" ${from} -1 when)
  string(APPEND status_text ".TP\n.B ${code}\n${when}\n")
endforeach()
file(WRITE ${OUT}
".TH ${upper} 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
.SH EXIT STATUS
${status_text}.SH ENVIRONMENT
.TP
.B TAVRIN_DRIVE_ROOT
The folder that stands for the drive root of the paths the program reads and
writes (C:\\estator-1.txt is C/stator-1.txt in it), unless --drive-root names
one.
.TP
.B XDG_DATA_HOME
Without either, the drive root is $XDG_DATA_HOME/tavrin/drives
(~/.local/share/tavrin/drives).
.SH FILES
.TP
.I ~/.config/tavrin/tavrin.conf
The connection to the board kept between runs (its [link] keys board, port,
d2xx-library, ftdi-library; $XDG_CONFIG_HOME/tavrin/tavrin.conf where that is
set). Options on the command line override it; --no-config ignores it.
.TP
.I ~/.local/share/tavrin/drives/C/
The drive root's C: drive: the sweep and current logs (C:\\estator-1.txt ...),
the cycle record C:\\eCyclecnt.txt and the sequence files; the board's
settings C:\\eWindows\\eTavrin.ini. A log or record that would be emptied is first kept under the
next free name with ~N before its .txt.
.SH SEE ALSO
/usr/share/doc/tavrin/README.md: a first start, the boards and how to reach
them; /usr/share/doc/tavrin/README.source.md: everything (the window,
operator scripts, the link trace, sequence files, the configuration file).
")
