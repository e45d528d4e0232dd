#!/usr/bin/env bash
# The README's pictures of the running program, made under Xvfb on a
# 1600 x 1000 screen from the real window on the simulated board:
#
#   scripts/screenshots.sh [OUTDIR]      (default docs/)
#
#   plot-beside.png      the default sweep, the plot window beside the main window, scale 1
#   plot-beside-1.5.png  the same at QT_SCALE_FACTOR=1.5
#   plot-gap.png         the plot window: start-up's reading, then tracking 15 s later
#   window-dark.png      the main window on a dark Fusion palette (the window test's)
#
# Each run is an operator script in real time (--script --realtime) with the
# window shown; the screen is read with xwd while the script still runs.
# Installs Xvfb, xwd and netpbm when they are missing. Not part of the tests.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(realpath -m "${1:-$root/docs}")"
mkdir -p "$out"
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xwd >/dev/null || need+=(x11-apps)
command -v pnmtopng >/dev/null || need+=(netpbm)
if [ ${#need[@]} -gt 0 ]; then
  sudo_=""; [ "$(id -u)" = 0 ] || sudo_=sudo
  $sudo_ apt-get install -y "${need[@]}" >/dev/null
fi
# shellcheck source=setup.sh
source "$root/scripts/setup.sh"
[ -f "$root/build/CMakeCache.txt" ] || cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j2 --target tavrin tavrin_qt_tests >/dev/null

work="$(mktemp -d)"
display=:$((70 + RANDOM % 100))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

# shot SCALE SECONDS PNG [PNMCUT-ARGS] -- SCRIPT-LINES...: runs the script,
# reads the screen SECONDS after the start, and waits for the run to end.
shot() {
  local scale=$1 at=$2 png=$3 cut=$4
  shift 4
  printf '%s\n' "$@" > "$work/script.txt"
  rm -rf "$work/root" && mkdir -p "$work/root"
  DISPLAY=$display QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale "$root/build/tavrin" --board sim --sim-drift 3 \
    --drive-root "$work/root" --script "$work/script.txt" --realtime >"$work/out.txt" 2>&1 &
  local run=$!
  sleep "$at"
  # shellcheck disable=SC2086
  DISPLAY=$display xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut $cut | pnmtopng > "$png"
  wait $run || { echo "screenshots: the run for $(basename "$png") failed:"; cat "$work/out.txt"; exit 1; }
  echo "Wrote $png"
}

shot 1 7 "$out/plot-beside.png" "-left 0" "300 click CmdSwpStart" "9000 close"
shot 1.5 7 "$out/plot-beside-1.5.png" "-left 0" "300 click CmdSwpStart" "9000 close"
# The main window at scale 1 ends at x 741: the plot window alone.
shot 1 27 "$out/plot-gap.png" "-left 742 -top 110 -height 780" "15000 click Tracking" "25000 click Tracking" \
  "29000 close"
DISPLAY=$display QT_QPA_PLATFORM=xcb TAVRIN_DARK_SCREENSHOT="$out/window-dark.png" \
  "$root/build/tests/qt/tavrin_qt_tests" --gtest_filter='DarkWindowTest.*' >/dev/null
echo "Wrote $out/window-dark.png"
