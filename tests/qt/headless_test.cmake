# tavrin --headless with no display in the environment: how it ends when there
# is no batch to run or nobody to answer a message box. Each run must give its
# exit status and message, and a run that opened the device must close it last.
#
#   cmake -DTAVRIN=<tavrin> -DWORK=<scratch folder> -P headless_test.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/drives")

# run_tavrin(NAME STATUS MESSAGE ARGS...): runs tavrin with ARGS and --trace
# ${WORK}/NAME.trace; the exit status must be STATUS and stderr hold MESSAGE.
function(run_tavrin name expected_status expected_message)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
            "${TAVRIN}" --trace "${WORK}/${name}.trace" ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  if(NOT status STREQUAL expected_status)
    message(SEND_ERROR "${name}: exit status '${status}', expected ${expected_status}; stderr:\n${err}")
  endif()
  string(FIND "${err}" "${expected_message}" at)
  if(at EQUAL -1)
    message(SEND_ERROR "${name}: stderr lacks '${expected_message}':\n${err}")
  endif()
endfunction()

# The last call in a trace must be the close: nothing is sent after it.
function(expect_closed_last name)
  file(STRINGS "${WORK}/${name}.trace" lines)
  list(LENGTH lines count)
  if(count LESS 2)
    message(SEND_ERROR "${name}: the trace has ${count} lines; start-up did not run")
    return()
  endif()
  list(GET lines -1 last)
  if(NOT last MATCHES "^[0-9.]+ FT_Close -> 0$")
    message(SEND_ERROR "${name}: the trace does not end with the device closed; its last line: ${last}")
  endif()
endfunction()

set(sim --headless --board sim --drive-root "${WORK}/drives")
set(needs_file "tavrin: --headless needs the path of an existing sequence file")

# No such file: start-up runs, finds no batch, closes the device and exits 2.
run_tavrin(no_such_file 2 "${needs_file}" ${sim} "${WORK}/no-such-sequence.txt")
expect_closed_last(no_such_file)

# No file at all, or --script with it: refused before anything is opened.
run_tavrin(no_file 2 "${needs_file}" ${sim})
run_tavrin(with_script 2 "--headless runs a batch or a --realtime script; it does not go with --script alone" ${sim} --script x.script)
foreach(name no_file with_script)
  if(EXISTS "${WORK}/${name}.trace")
    message(SEND_ERROR "${name}: the run opened its trace; it should have stopped at the command line")
  endif()
endforeach()

# A message box nobody can answer (here the configuration file's: reading
# /proc/self/mem from its start fails with an I/O error, "Disk Not Ready"):
# printed, the device closed, status 1.
if(EXISTS /proc/self/mem)
  file(MAKE_DIRECTORY "${WORK}/drives/C/Windows")
  file(CREATE_LINK /proc/self/mem "${WORK}/drives/C/Windows/Tavrin.ini" SYMBOLIC)
  run_tavrin(message 1 "tavrin: message: Disk Not Ready. Full Scale 1024mA" ${sim} "${WORK}/no-such-sequence.txt")
  expect_closed_last(message)
endif()
