#!/usr/bin/env bash
# Starts Tavrin. Without --board it runs on the simulated drive board.
#
# The program starts in examples/, where the sequence box's start-up name
# (StimDemo.txt) is found, so "Sequence Start" works at once. Relative paths
# given here (--trace FILE, --script FILE, a sequence file ...) are taken from
# the folder run.sh was started in, as usual.
set -euo pipefail
here="$PWD"
root="$(cd "$(dirname "$0")" && pwd)"

# A path relative to where run.sh was started, made absolute. Drive-letter
# paths (C:\...) belong to the drive root and stay as typed.
absolute() {
  case "$1" in
    "" | /* | [A-Za-z]:*) printf '%s' "$1" ;;
    \"*) printf '"%s' "$(absolute "${1#\"}")" ;;  # a quoted batch path keeps its quote
    *) printf '%s/%s' "$here" "$1" ;;
  esac
}

# Options that take a value, and those whose value is a path.
takes_value=" --board --d2xx-library --drive-root --trace --script --until --clock-start --sim-fault
  --sim-resonance --sim-width --sim-gain --sim-noise --sim-seed --sim-latency --sim-drift --sim-jump
  --sim-idle --check-sequence --step-time "
is_path() {
  case "$1" in
    --drive-root | --trace | --script | --check-sequence) return 0 ;;
    # A bare library name is looked up by the system's loader, not in a folder.
    --d2xx-library) case "$2" in */*) return 0 ;; esac ;;
  esac
  return 1
}

args=()
board=(--board sim)
while [ $# -gt 0 ]; do
  a="$1"
  shift
  case "$a" in
    --)
      args+=("$a")
      [ $# -gt 0 ] && { args+=("$(absolute "$1")"); shift; }
      args+=("$@")
      break
      ;;
    --*=*)
      name="${a%%=*}" value="${a#*=}"
      [ "$name" = --board ] && board=()
      is_path "$name" "$value" && value="$(absolute "$value")"
      args+=("$name=$value")
      ;;
    --*)
      [ "$a" = --board ] && board=()
      args+=("$a")
      if [[ "$takes_value" == *" $a "* ]] && [ $# -gt 0 ]; then
        value="$1"
        shift
        is_path "$a" "$value" && value="$(absolute "$value")"
        args+=("$value")
      fi
      ;;
    *)
      # The first plain word starts the sequence file path of the batch run.
      args+=("$(absolute "$a")" "$@")
      break
      ;;
  esac
done
if [ -n "${TAVRIN_DRIVE_ROOT:-}" ]; then
  TAVRIN_DRIVE_ROOT="$(absolute "$TAVRIN_DRIVE_ROOT")"
  export TAVRIN_DRIVE_ROOT
fi

cd "$root"
source scripts/setup.sh
tavrin_install_missing
tavrin_build >/dev/null

cd "$root/examples"
exec "$root/build/tavrin" "${board[@]}" "${args[@]}"
