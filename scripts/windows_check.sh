#!/usr/bin/env bash
# Everything below the Qt window, checked for Windows without Windows: builds
# the Qt-free layers and their tests with mingw-w64 (cmake/mingw-w64.cmake)
# into build-win/ and runs them under wine. Needs g++-mingw-w64-x86-64-posix,
# wine64 and googletest (its sources in /usr/src/googletest, built here with
# the cross compiler). .ci/run calls it when those are installed.
#
# Not built for Windows: the golden checker and the stand-in libraries (see
# tests/CMakeLists.txt, tests/unit/CMakeLists.txt), which are POSIX only.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-win"
gtest="${TAVRIN_GTEST_SOURCE:-/usr/src/googletest}"

wine="$(command -v wine64 || true)"
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; }
if [ -z "$wine" ] || ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ ! -d "$gtest" ]; then
  echo "windows_check: needs g++-mingw-w64-x86-64-posix, wine64 and googletest ($gtest)" >&2
  exit 1
fi
# A wine prefix of its own, quiet, never the user's ~/.wine.
export WINEPREFIX="$build/wine" WINEDEBUG=-all
mkdir -p "$build"

start=$SECONDS
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DTAVRIN_BUILD_QT=OFF -DTAVRIN_GTEST_SOURCE="$gtest" -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" >/dev/null
cmake --build "$build" -j2 --target tavrin_unit_tests behaviour_tests tavrin-script \
  fuzz_numbers fuzz_config fuzz_script fuzz_reply fuzz_frames fuzz_sequence fuzz_options fuzz_datetime fuzz_scpi
echo "windows_check: cross build $((SECONDS - start)) s"

start=$SECONDS
failed=0
# Each test program once (a wine start per test would take minutes).
for t in tests/unit/tavrin_unit_tests tests/behaviour/behaviour_tests; do
  if ! (cd "$build" && "$wine" "$t.exe" --gtest_brief=1); then
    echo "windows_check: FAILED under wine: $t" >&2
    failed=1
  fi
done
# The saved fuzz inputs, replayed.
(cd "$build" && ctest --output-on-failure -R '^fuzz\.' --timeout 120) || failed=1
# The D2XX loader without ftd2xx.dll: a clear word, no crash.
boards="$(cd "$build" && "$wine" ./tavrin-script.exe --list-boards)" || failed=1
if ! grep -q "^d2xx.*cannot load ftd2xx.dll" <<<"$boards"; then
  echo "windows_check: --list-boards did not say that ftd2xx.dll is missing:" >&2
  echo "$boards" >&2
  failed=1
fi
echo "windows_check: tests under wine $((SECONDS - start)) s"
[ "$failed" -eq 0 ] && echo "windows_check: passed"
exit "$failed"
