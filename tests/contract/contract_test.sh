#!/usr/bin/env bash
# The contract every backend keeps: the same script gives the same link trace.
# The reference is the script on the simulated board in virtual time; each
# backend given runs it in real time (headless) and tavrin-tracediff compares.
#
#   contract_test.sh WORKDIR TAVRIN TAVRIN_SCRIPT TRACEDIFF SCRIPT [NAME -- OPTIONS...]...
set -uo pipefail
work=$1 tavrin=$2 script_runner=$3 tracediff=$4 script=$5
shift 5
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

"$script_runner" --board sim --drive-root virtual --trace virtual.trace --script "$script" >virtual.out 2>virtual.err ||
  fail "the virtual-time run ended with status $?: $(cat virtual.err)"

# A script on a real board without --realtime cannot wait for it: refused.
"$tavrin" --board d2xx --script "$script" >/dev/null 2>refused.err
status=$?
[ "$status" = 2 ] || fail "--board d2xx --script without --realtime: status $status, not 2"
grep -q -- "--realtime" refused.err || fail "the refusal does not say to add --realtime: $(cat refused.err)"

# Every backend in the listing: the simulated board, and why each other sees none.
"$tavrin" --list-boards --d2xx-library "$work/no-such-libftd2xx.so" >boards.out 2>boards.err ||
  fail "--list-boards ended with status $?"
grep -qP '^sim\t0\tTVSIM001\tTavrin Drive Board \(simulated\)$' boards.out || fail "no simulated board listed: $(cat boards.out)"
grep -qP '^d2xx\t-\tnone: cannot load .*no-such-libftd2xx.so' boards.out || fail "d2xx does not say why: $(cat boards.out)"

# Each backend: NAME -- OPTIONS... (up to the next NAME --, or the end).
while [ $# -gt 0 ]; do
  name=$1
  shift 2
  opts=()
  while [ $# -gt 0 ] && [ "${2:-}" != "--" ]; do opts+=("$1"); shift; done
  "$tavrin" "${opts[@]}" --drive-root "$name" --trace "$name.trace" --script "$script" --realtime --headless \
    >"$name.out" 2>"$name.err"
  status=$?
  [ "$status" = 0 ] || fail "$name: the real-time run ended with status $status: $(cat "$name.err")"
  if "$tracediff" "$name.trace" virtual.trace >"$name.diff"; then
    echo "$name: $(cat "$name.diff")"
  else
    fail "$name: $(cat "$name.diff")"
  fi
done
exit $failed
