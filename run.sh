#!/usr/bin/env bash
# Starts Tavrin. Without --board it runs on the simulated drive board.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
tavrin_install_missing
tavrin_build >/dev/null

board=(--board sim)
for a in "$@"; do
  case "$a" in --board|--board=*) board=() ;; esac
done
exec build/tavrin "${board[@]}" "$@"
