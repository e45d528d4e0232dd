#!/usr/bin/env bash
# SIGTERM inside the loops that wait for nothing: counting out ten million
# repeats after "Sequence Stop", and tracking at a step time of 0 with a frame
# that cannot be built. In virtual time (tavrin-script) and in real time
# (tavrin --realtime --headless) the run must end with 128 + 15, the device
# closed as the trace's last call. The bound is generous (a hang guard); how
# fast it ends is printed.
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
    sent=$(date +%s%N)
    kill -TERM "$pid"
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    if kill -0 "$pid" 2>/dev/null; then
      echo "$loop/$mode: still running 5 s after SIGTERM"; kill -KILL "$pid"; fail=1; continue
    fi
    wait "$pid"; status=$?
    echo "$loop/$mode: ended $(( ($(date +%s%N) - sent) / 1000000 )) ms after SIGTERM (polled every 50 ms), status $status"
    [ "$status" = 143 ] || { echo "$loop/$mode: status $status, not 143"; fail=1; }
    last=$(grep ' FT_' "$trace" | tail -n 1)
    case "$last" in *" FT_Close "*) ;; *) echo "$loop/$mode: the trace ends with: $last"; fail=1 ;; esac
  done
done
exit $fail
