#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) on every source file of the tree:
# src/, tests/ and bench/. Any finding is an error (exit status 1).
#
#   scripts/tidy.sh [BUILD_DIR]     # default build/; two files at a time
#
# BUILD_DIR must be configured already: its compile_commands.json gives each
# file's flags. TAVRIN_TIDY_JOBS sets how many files run at once (2).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
jobs="${TAVRIN_TIDY_JOBS:-2}"
tidy="$(command -v clang-tidy || command -v clang-tidy-14 || true)"
if [ -z "$tidy" ]; then
  echo "tidy: clang-tidy is not installed (Debian: apt-get install clang-tidy)" >&2
  exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy: no $build/compile_commands.json; configure the build first" >&2
  exit 2
fi

# The tree's own sources, as the build compiles them (not the files CMake
# generates into the build folder).
mapfile -t files < <(python3 - "$build/compile_commands.json" "$root" <<'EOF'
import json, os, sys
commands, root = sys.argv[1], sys.argv[2]
seen = set()
for entry in json.load(open(commands)):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    rel = os.path.relpath(path, root)
    if rel.split(os.sep)[0] in ("src", "tests", "bench") and path not in seen:
        seen.add(path)
        print(path)
EOF
)
echo "tidy: $("$tidy" --version | grep -m1 -o 'version [0-9.]*'), ${#files[@]} files, $jobs at a time" >&2

# The findings go to standard output, one block a file; of standard error
# only the "N warnings generated." chatter is dropped.
if printf '%s\0' "${files[@]}" | xargs -0 -n1 -P"$jobs" "$tidy" -p "$build" --quiet \
     2> >(grep -v 'warnings\? generated\.$' >&2); then
  echo "tidy: clean" >&2
else
  echo "tidy: findings above" >&2
  exit 1
fi
