#!/usr/bin/env bash
# The contract every backend keeps: the same script gives the same link trace.
# The reference is the script on the simulated board in virtual time; each
# backend runs it in real time (headless) and tavrin-tracediff compares:
# the simulated board, the D2XX and libftdi1 backends on their stand-in
# libraries, and the serial backend over a pseudo-terminal to tavrin-simboard,
# the last also with a reply fault.
#
#   contract_test.sh WORKDIR TAVRIN TAVRIN_SCRIPT TRACEDIFF SIMBOARD D2XX_STANDIN FTDI_STANDIN SCRIPT
set -uo pipefail
work=$1 tavrin=$2 script_runner=$3 tracediff=$4 simboard=$5 d2xx_standin=$6 ftdi_standin=$7 script=$8
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The reference: NAME, then --sim-fault's list (may be empty).
reference() {
  "$script_runner" --board sim ${2:+--sim-fault "$2"} --drive-root "virtual-$1" --trace "virtual-$1.trace" \
    --script "$script" >"virtual-$1.out" 2>"virtual-$1.err" ||
    fail "$1: the virtual-time run ended with status $?: $(cat "virtual-$1.err")"
}

# NAME REFERENCE OPTIONS...: the script in real time on a backend, compared;
# false with the difference in $verdict.
run_once() {
  local name=$1 ref=$2
  shift 2
  # A pseudo-terminal has no USB serial number, and its description is its
  # path with the warning that a tty open pulses the enable line: the device
  # texts differ by design.
  local device=()
  [ "${name#serial}" != "$name" ] && device=(--any-device)
  rm -rf "$name"
  "$tavrin" "$@" --drive-root "$name" --trace "$name.trace" --script "$script" --realtime --headless \
    >"$name.out" 2>"$name.err"
  local status=$?
  if [ "$status" != 0 ]; then
    verdict="the real-time run ended with status $status: $(cat "$name.err")"
    return 1
  fi
  verdict=$("$tracediff" "${device[@]}" "$name.trace" "virtual-$ref.trace")
}

# A run whose trace differs runs once more: on a loaded machine a reply can
# miss the program's 50 ms wait. Two differing runs fail. NAME ATTEMPT:
# whether to try (again), saying how the last one went.
verdict=""
first=""
settle() {
  if [ "$3" = 0 ]; then
    echo "$1: $verdict${first:+ (second run; the first: $first)}"
  elif [ "$2" = 2 ]; then
    fail "$1: $verdict"
  else
    first=$(echo "$verdict" | head -1)
    return 0
  fi
  first=""
  return 1
}

check() {
  local attempt
  for attempt in 1 2; do
    run_once "$@"
    settle "$1" "$attempt" $? || return
  done
}

# NAME FAULTS REFERENCE: tavrin-simboard serves the board on a pty, afresh
# for each run.
check_serial() {
  local attempt ok
  for attempt in 1 2; do
    "$simboard" --pty ${2:+--sim-fault "$2"} </dev/null >"$1.pty" 2>"$1.simboard.err" &
    local pid=$! pty="" word
    for _ in $(seq 50); do
      if read -r word pty <"$1.pty" 2>/dev/null && [ "$word" = PTY ]; then break; fi
      pty=""
      sleep 0.1
    done
    if [ -z "$pty" ]; then
      verdict="tavrin-simboard gave no pty: $(cat "$1.simboard.err")"
      ok=1
    else
      run_once "$1" "$3" --board serial --port "$pty" --inband-lines
      ok=$?
    fi
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    settle "$1" "$attempt" $ok || return
  done
}

reference plain ""
reference garbled garbled

# Every backend in the listing, the simulated board first.
"$tavrin" --list-boards --d2xx-library "$work/no-such-libftd2xx.so" >boards.out 2>boards.err ||
  fail "--list-boards ended with status $?"
grep -qP '^sim\t0\tTVSIM001\tTavrin Drive Board \(simulated\)$' boards.out || fail "no simulated board listed: $(cat boards.out)"

# Every backend of the registry, as the listing names them, in its order: a
# new backend fails here until it has its run.
for backend in $(cut -f1 boards.out | uniq); do
  case "$backend" in
    sim) check sim plain --board sim ;;
    d2xx) check d2xx plain --board d2xx --d2xx-library "$d2xx_standin" ;;
    ftdi) check ftdi plain --board ftdi --ftdi-library "$ftdi_standin" ;;
    serial)
      check_serial serial "" plain
      check_serial serial-garbled garbled garbled
      ;;
    auto)
      # The first backend that sees a board: the vendor library, then libftdi1.
      check auto plain --no-config --d2xx-library "$work/no-such-libftd2xx.so" --ftdi-library "$ftdi_standin"
      for pair in "d2xx:$d2xx_standin" "ftdi:$work/no-such-libftd2xx.so"; do
        "$tavrin" --no-config --list-boards --d2xx-library "${pair#*:}" --ftdi-library "$ftdi_standin" >auto.out
        grep -qP "^auto\t-\ttakes ${pair%%:*}: the first that sees a board" auto.out ||
          fail "auto should take ${pair%%:*}: $(grep ^auto auto.out)"
      done
      ;;
    *) fail "backend $backend has no run in the contract test" ;;
  esac
done
exit $failed
