#!/usr/bin/env bash
# tavrin-simboard --pty: prints its pty first, serves it until SIGTERM or the
# end of its stdin, and ends with status 0; refuses what it cannot serve.
# --socket PATH: prints its socket first, never replaces a file that is not a
# socket.
#   simboard_test.sh TAVRIN_SIMBOARD TAVRIN_SCRIPT WORKDIR
set -uo pipefail
simboard=$1 runner=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Waits (up to 5 s) for the first line, "PTY PATH", and prints PATH.
pty_of() {
  for _ in $(seq 50); do
    if read -r word path <"$1" 2>/dev/null && [ "$word" = PTY ]; then echo "$path"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Ended by SIGTERM (stdin /dev/null, as a script's background job has it, is not watched).
"$simboard" --pty --sim-seed 3 </dev/null >term.out 2>term.err &
pid=$!
path=$(pty_of term.out) || fail "no PTY line: $(cat term.out term.err)"
[ -c "$path" ] || fail "'$path' is not a character device"
"$runner" --list-boards --port "$path" | grep -qP "^serial\t0\t\t\Q$path\E$" ||
  fail "--list-boards does not list $path: $("$runner" --list-boards --port "$path")"
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "after SIGTERM: status $status, not 0"
[ -s term.err ] && fail "something on stderr: $(cat term.err)"

# Ended by the end of its stdin.
exec 3> >("$simboard" --pty >stdin.out 2>stdin.err; echo $? >stdin.status)
pty_of stdin.out >/dev/null || fail "no PTY line with stdin a pipe: $(cat stdin.err)"
exec 3>&-
for _ in $(seq 50); do [ -s stdin.status ] && break; sleep 0.1; done
[ "$(cat stdin.status 2>/dev/null)" = 0 ] || fail "after stdin closed: status '$(cat stdin.status 2>/dev/null)', not 0"

# Refused: a fault of the program's own side, and a stray word.
# The servable faults as its --help names them from the fault table.
servable=$("$simboard" --help | sed -n 's/^Of the faults only \(.*\) can be served:.*/\1/p')
case "$servable" in *silent*garbled*) ;; *) fail "--help does not name the servable faults: '$servable'" ;; esac
served="cannot be served: it acts on a step the program performs on its own side of the link (only $servable can)"
"$simboard" --pty --sim-fault open >/dev/null 2>fault.err </dev/null
[ $? = 2 ] && grep -qxF "tavrin-simboard: fault 'open' $served" fault.err ||
  fail "--sim-fault open not refused: $(cat fault.err)"
"$simboard" --pty --sim-fault late,unplug=40 >/dev/null 2>fault.err </dev/null
[ $? = 2 ] && grep -qxF "tavrin-simboard: fault 'unplug=40' $served" fault.err ||
  fail "--sim-fault unplug=40 not refused: $(cat fault.err)"
"$simboard" --pty --trace x >/dev/null 2>word.err </dev/null
[ $? = 2 ] || fail "--trace not refused"
"$simboard" >/dev/null 2>nopty.err </dev/null
[ $? = 2 ] || fail "no --pty not refused"
"$simboard" --pty --socket s >/dev/null 2>both.err </dev/null
[ $? = 2 ] || fail "--pty with --socket not refused"
"$simboard" --pty --lines-from-frames >/dev/null 2>lines.err </dev/null
[ $? = 2 ] || fail "--lines-from-frames on a pty not refused"

# A socket: its line first; a stale socket replaced, a plain file left alone.
"$simboard" --socket "$work/board.sock" </dev/null >socket.out 2>socket.err &
pid=$!
for _ in $(seq 50); do [ -S board.sock ] && break; sleep 0.1; done
kill -TERM "$pid"
wait "$pid"
[ $? = 0 ] && [ "$(cat socket.out)" = "SOCKET $work/board.sock" ] || fail "socket: $(cat socket.out socket.err)"
[ -e board.sock ] && fail "the socket outlived its server"
echo keep >board.sock
"$simboard" --socket "$work/board.sock" </dev/null >/dev/null 2>file.err
[ $? = 1 ] && [ "$(cat board.sock)" = keep ] || fail "a plain file at the socket's path: $(cat file.err)"

[ $failed = 0 ] && echo "tavrin-simboard: PTY and SOCKET lines, SIGTERM, end of stdin and refusals as expected"
exit $failed
