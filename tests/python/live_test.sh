#!/usr/bin/env bash
# The Python client, PyVISA, the PyMeasure instrument and the example against
# a real `tavrin --headless --remote` on the simulated board, in real time;
# then SYSTem:EXIT must end the program with status 0.
#   live_test.sh TAVRIN PYTHON WORKDIR
set -uo pipefail
tavrin=$1 python=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work/root" && cd "$work" || exit 1

"$tavrin" --headless --remote 0 --board sim --no-config --drive-root "$work/root" --trace "$work/live.trace" \
  </dev/null >tavrin.out 2>tavrin.err &
pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^tavrin: remote control on 127\.0\.0\.1:\([0-9]*\).*/\1/p' tavrin.err)
  [ -n "$port" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "FAIL: no remote control: $(cat tavrin.err)"
  kill "$pid" 2>/dev/null
  exit 1
fi

TAVRIN_REMOTE_PORT=$port PYTHONDONTWRITEBYTECODE=1 "$python" "$here/test_live.py" -v
failed=$?

# SYSTem:EXIT, as a lab script ends a session.
exec 3<>"/dev/tcp/127.0.0.1/$port" && echo "SYST:EXIT" >&3
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  echo "FAIL: SYSTem:EXIT did not end the program"
  kill "$pid"
  failed=1
fi
wait "$pid"
status=$?
[ "$status" = 0 ] || { echo "FAIL: status $status after SYSTem:EXIT: $(cat tavrin.err)"; failed=1; }
exit $failed
