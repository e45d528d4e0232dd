#!/usr/bin/env bash
# Installs what Tavrin needs to build (on Debian or Ubuntu), then configures and
# builds into build/. Sourced by run.sh and test.sh.
set -euo pipefail

TAVRIN_PACKAGES=(cmake make g++ pkg-config qt6-base-dev libgl1-mesa-dev libxkbcommon-dev
                 libgtest-dev fonts-dejavu-core)

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

tavrin_build() {
  local root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  if [ ! -f "$root/build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$root/build" -j2
}
