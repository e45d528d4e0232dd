#!/usr/bin/env bash
# SIGTERM inside the loops that wait for nothing: counting out ten million
# repeats after "Sequence Stop", and tracking at a step time of 0 with a frame
# that cannot be built. In virtual time (tavrin-script) and in real time
# (tavrin --realtime --headless) the run must end with 128 + 15, the device
# closed as the trace's last call. The 5 s bound is a hang guard; how fast it
# ends is measured by bench/bench_signals.py.
set -u
tavrin=$1 script=$2 work=$3
rm -rf "$work" && mkdir -p "$work/root/C"
printf '3000,50\r\n' > "$work/root/C/seq.txt"
cat > "$work/countout.script" <<'S'
200 settext times 10000000
200 settext StimFileName C:\seq.txt
300 click RunStimFile
400 click RunStimFile
1000000000 dump
S
cat > "$work/zerowait.script" <<'S'
200 click cmdStartMotor
210 settext TxtSteptime 0
220 settext txtFase_DDS2 x
230 click Tracking
1000000000 dump
S
fail=0
for loop in countout zerowait; do
  for mode in virtual realtime; do
    trace="$work/$loop-$mode.trace"
    if [ "$mode" = virtual ]; then
      "$script" --board sim --drive-root "$work/root" --script "$work/$loop.script" --trace "$trace" >/dev/null 2>&1 &
    else
      env -u DISPLAY -u WAYLAND_DISPLAY "$tavrin" --realtime --headless --board sim --drive-root "$work/root" \
        --script "$work/$loop.script" --trace "$trace" >/dev/null 2>&1 &
    fi
    pid=$!
    sleep 1.5  # well inside the loop
    kill -TERM "$pid"
    ( sleep 5; kill -KILL "$pid" 2>/dev/null ) &
    watchdog=$!
    wait "$pid"; status=$?
    kill "$watchdog" 2>/dev/null; wait "$watchdog" 2>/dev/null
    [ "$status" = 143 ] || { echo "$loop/$mode: status $status, not 143 (137: killed 5 s after SIGTERM)"; fail=1; }
    last=$(grep ' FT_' "$trace" | tail -n 1)
    case "$last" in *" FT_Close "*) ;; *) echo "$loop/$mode: the trace ends with: $last"; fail=1 ;; esac
  done
done
exit $fail
