#!/usr/bin/env bash
# run.sh passes options on with their relative paths made absolute (from the
# folder it was started in), and leaves a bare library name bare for the
# loader. It runs on a copy of run.sh whose build step is a stand-in for the
# build folder given.
#   run_sh_test.sh RUN_SH BUILD_DIR WORK_DIR
set -uo pipefail
run_sh=$1 build=$2 work=$3
rm -rf "$work" && mkdir -p "$work/root/scripts" "$work/root/examples" "$work/here" || exit 1
cp "$run_sh" "$work/root/run.sh"
ln -s "$build" "$work/root/build"
printf 'tavrin_install_missing() { :; }\ntavrin_build() { :; }\n' >"$work/root/scripts/setup.sh"
cd "$work/here" || exit 1
export QT_QPA_PLATFORM=offscreen
out=$(bash ../root/run.sh --list-boards --d2xx-library lib/none.so --ftdi-library libnone.so.9 --port=pts/none 2>&1)
failed=0
fail() { echo "FAIL: $*"; failed=1; }
grep -qF "cannot load $work/here/lib/none.so" <<<"$out" || fail "--d2xx-library not made absolute: $out"
grep -qF "cannot load libnone.so.9:" <<<"$out" || fail "a bare --ftdi-library name not left bare: $out"
grep -qF "$work/here/pts/none does not exist" <<<"$out" || fail "--port= not made absolute: $out"
[ $failed = 0 ] && echo "run.sh: relative paths made absolute, a bare library name kept"
exit $failed
