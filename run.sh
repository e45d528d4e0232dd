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

# Built first: the program itself says which options take a value and which
# values are paths (tavrin-option-facts prints "NAME value|flag path|library|-").
cd "$root"
source scripts/setup.sh
tavrin_install_missing
tavrin_build >/dev/null
declare -A value_kind=()
while read -r name takes kind; do
  [ "$takes" = value ] && value_kind[$name]=$kind
done < <("$root/build/tavrin-option-facts")
is_path() {
  case "${value_kind[$1]:-}" in
    path) return 0 ;;
    # A bare library name is looked up by the system's loader, not in a folder.
    library) case "$2" in */*) return 0 ;; esac ;;
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
      if [ -n "${value_kind[$a]+set}" ] && [ $# -gt 0 ]; then
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

cd "$root/examples"
exec "$root/build/tavrin" "${board[@]}" "${args[@]}"
