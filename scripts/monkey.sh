#!/usr/bin/env bash
# The behaviour monkey (tests/monkey/monkey.cpp): runs N random operator scripts
# on the simulated board, each under a real-time watchdog, and checks what
# every run leaves (status, trace, files, "Motor Stop" kept).
#
#   scripts/monkey.sh N [SEED]
#
# SEED defaults to the time; it is printed, and a failing script is kept with
# its files in build/monkey/fail-SEED-INDEX/ and can be made again alone with
# build/tests/monkey/tavrin_monkey --seed SEED --first INDEX --count 1.
# MONKEY_BUDGET sets the watchdog in seconds (20). Exits 1 when a script failed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
count="${1:?usage: scripts/monkey.sh N [SEED]}"
seed="${2:-$(date +%s)}"
# shellcheck source=setup.sh
source "$root/scripts/setup.sh"
if [ ! -f "$root/build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$root/build" -j2 --target tavrin_monkey tavrin-script >/dev/null
echo "monkey: seed $seed"
exec "$root/build/tests/monkey/tavrin_monkey" --count "$count" --seed "$seed" --out "$root/build/monkey" \
  --budget "${MONKEY_BUDGET:-20}"
