#!/usr/bin/env bash
# tavrin-plot end to end on logs the simulated board wrote: a fine sweep gives
# the board's peak and width, the default sweep is too coarse for a width, a
# damaged log plots what it can and names the rest, sweep and current logs
# give CSV files Python reads back, bad command lines and outputs fail with a
# message and touch nothing; a headless batch run leaves its sweep's plot
# beside its log.
#
#   plot_test.sh TAVRIN_PLOT TAVRIN_SCRIPT TAVRIN WORK_DIR
set -u
plot=$1 script=$2 tavrin=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# expect STATUS TEXT -- COMMAND...: the command's status, and TEXT in its output.
expect() {
  local want=$1 text=$2
  shift 3
  out=$("$@" 2>&1); local got=$?
  [ "$got" = "$want" ] || fail "$* gave status $got, not $want: $out"
  [[ "$out" == *"$text"* ]] || fail "$* did not say '$text': $out"
}
is_png() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ]; }

# The sweeps, in virtual time on the simulated board (resonance 44100 Hz,
# 300 Hz wide at half height).
printf '150 settext TxtSwpStart 43500\n150 settext TxtSwpStop 44700\n150 settext TxtSwpStep 20\n200 click CmdSwpStart\n' >fine.script
printf '200 click CmdSwpStart\n' >default.script
"$script" --board sim --drive-root fine --script fine.script >/dev/null || fail "the fine sweep did not run"
"$script" --board sim --drive-root default --script default.script >/dev/null || fail "the default sweep did not run"

expect 0 "Wrote C:\\stator-1.png" -- "$plot" --drive-root fine 'C:\stator-1.txt'
is_png fine/C/stator-1.png || fail "no PNG beside the fine sweep's log"
peak=$(sed -n 's/^Peak \([0-9]*\) Hz.*/\1/p' <<<"$out")
width=$(sed -n 's/^Width at half height \([0-9]*\) Hz/\1/p' <<<"$out")
{ [ -n "$peak" ] && [ "$peak" -ge 44090 ] && [ "$peak" -le 44110 ]; } || fail "peak '$peak' not within 10 Hz of 44100: $out"
{ [ -n "$width" ] && [ "$width" -ge 240 ] && [ "$width" -le 360 ]; } || fail "width '$width' not within 20 % of 300 Hz: $out"

expect 0 "too coarse to measure the width" -- "$plot" default/C/stator-1.txt -o default.svg
grep -q "<svg" default.svg || fail "default.svg is not an SVG"

# A damaged log: text with a terminal's escape sequence in a number field
# (quoted escaped, on its line), and a last line cut off by a crash.
damaged() { head -n 20 fine/C/stator-1.txt; printf '1.3,44\033[2Jx00,60\r\n'; sed -n '21,40p' fine/C/stator-1.txt; printf '1.3,442'; }
damaged >damaged.txt
expect 0 'damaged.txt line 21: field 2 (Hz) is not a number: "44\x1B[2Jx00"; skipped'$'\n' -- "$plot" damaged.txt
[[ "$out" == *"line 42: cut off"* && "$out" == *"37 readings"* ]] || fail "the damaged log: $out"
is_png damaged.png || fail "the damaged log was not drawn"

# Bad command lines (2), a log that cannot be read or holds nothing (1), an
# image that cannot be written (1): each says why, and nothing is touched.
cp damaged.png kept.png
expect 2 "usage:" -- "$plot"
expect 2 "unknown option --colour" -- "$plot" --colour damaged.txt
expect 2 "must end in .png or .svg" -- "$plot" damaged.txt -o damaged.txt
expect 2 "needs a value" -- "$plot" damaged.txt -o
expect 2 "would overwrite the log" -- "$plot" kept.png -o ./kept.png
expect 1 "cannot read missing.txt: no such file" -- "$plot" missing.txt
expect 1 "not an ordinary file" -- "$plot" fine
printf '"V, Hz, mA"\r\n' >empty.txt
expect 1 "holds no readings" -- "$plot" empty.txt
expect 1 "cannot write no/such/folder.png" -- "$plot" damaged.txt -o no/such/folder.png
mkdir -p dir.png
expect 1 "cannot write dir.png" -- "$plot" damaged.txt -o dir.png
cmp -s damaged.txt <(damaged) || fail "the log was changed"
cmp -s damaged.png kept.png || fail "an image was changed by a failed run"

# CSV for a spreadsheet, and no image with --csv alone: Python's csv module reads the header row, the log's readings
# row by row (a current log's times one logged interval apart) and the comment rows after them.
printf '200 settext LogFileName C:\\cur.txt\n300 tick btGetCurrent\n5500 untick btGetCurrent\n' >current.script
"$script" --board sim --drive-root current --script current.script >/dev/null || fail "the current log did not run"
expect 0 "Wrote sweep.csv" -- "$plot" fine/C/stator-1.txt --csv sweep.csv
[[ "$out" != *png* ]] || fail "--csv alone drew an image: $out"
expect 0 "Wrote current.csv" -- "$plot" --drive-root current 'C:\cur.txt' --csv current.csv
python3 - <<'EOF' || fail "the CSV files do not read back as their logs"
import csv
for name, log, header, comments in (("sweep.csv", "fine/C/stator-1.txt", "supply_V,frequency_Hz,current_mA", 2),
                                    ("current.csv", "current/C/cur.txt", "time_s,supply_V,frequency_Hz,current_mA", 1)):
    rows = list(csv.reader(open(name, newline="")))
    readings = [l.split(",") for l in open(log).read().splitlines() if l[:1].isdigit()]
    if header.startswith("time"):
        readings = [[str(i + 1)] + r for i, r in enumerate(readings)]
    assert rows[0] == header.split(",") and rows[1:-comments] == readings and len(readings) > 4, (name, rows)
    assert all(len(r) == 1 and r[0].startswith("# ") for r in rows[-comments:]), (name, rows[-comments:])
EOF
expect 2 "must end in .csv" -- "$plot" damaged.txt --csv damaged.txt

# A batch run without a display draws its sweep beside its log.
printf '3000,1\r\n' >batch.txt
env -u DISPLAY -u WAYLAND_DISPLAY "$tavrin" --headless --board sim --drive-root batch batch.txt >batch.out 2>&1 ||
  fail "the batch run failed: $(cat batch.out)"
is_png batch/C/stator-1.png || fail "no plot beside the batch's log: $(ls -R batch) $(cat batch.out)"

[ "$failures" = 0 ] && echo "all passed"
exit $((failures > 0))
