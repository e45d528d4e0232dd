#!/usr/bin/env bash
# Installs what Tavrin needs to build (on Debian or Ubuntu), then configures and
# builds into build/. Sourced by run.sh and test.sh.
set -euo pipefail

TAVRIN_PACKAGES=(cmake make g++ pkg-config qt6-base-dev qt6-svg-dev libgl1-mesa-dev libxkbcommon-dev
                 libgtest-dev fonts-dejavu-core)
# CI (.ci/run sets TAVRIN_CI=1) also runs clang-tidy, builds with warnings as
# errors, checks the Qt-free layers for Windows (mingw-w64 and wine:
# scripts/windows_check.sh), and drives the libftdi1 and serial backends
# against QEMU's emulated FT232 (scripts/ftdi_vm_check.sh, which fetches its
# guest kernel itself), and runs the remote control's PyVISA and PyMeasure
# tests (without them those cases are skipped).
if [ -n "${TAVRIN_CI:-}" ]; then
  TAVRIN_PACKAGES+=(clang-tidy g++-mingw-w64-x86-64-posix wine64 googletest
                    qemu-system-x86 busybox-static libftdi1-2 python3-pymeasure python3-pyvisa-py)
fi

tavrin_install_missing() {
  local missing=()
  if command -v dpkg-query >/dev/null 2>&1; then
    for p in "${TAVRIN_PACKAGES[@]}"; do
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
  else
    for tool in cmake g++; do
      command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    if [ ${#missing[@]} -gt 0 ]; then
      echo "tavrin: please install: cmake, a C++20 compiler, Qt 6 (Widgets) development files, GoogleTest" >&2
      exit 1
    fi
    return 0
  fi
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "tavrin: installing ${missing[*]}" >&2
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
      echo "tavrin: run as root or install: ${missing[*]}" >&2
      exit 1
    fi
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# tavrin_build [DIR [CMAKE_OPTION...]]: configures DIR (build/ by default) if
# it is new or options are given, then builds it.
tavrin_build() {
  local root dir="${1:-build}"
  if [ $# -gt 0 ]; then shift; fi
  local options=("$@")
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  # In CI the test build has warnings as errors. (Not the sanitizer build:
  # instrumented code gives gcc's flow warnings false positives.)
  if [ -n "${TAVRIN_CI:-}" ] && [ "$dir" = build ]; then options+=(-DTAVRIN_WERROR=ON); fi
  if [ ! -f "$root/$dir/CMakeCache.txt" ] || [ ${#options[@]} -gt 0 ]; then
    cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
  fi
  cmake --build "$root/$dir" -j2
}
