#!/usr/bin/env bash
# A batch run in real time on the simulated board, killed with SIGKILL at
# moments spread over its sweep and its sequence: whatever it wrote must hold
# whole lines (CR LF), with at most the last one cut, its sweep's plot whole,
# the earlier log and cycle record it found kept whole, and no other file.
set -u
tavrin=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
printf '3000,5\r\n-2000,5\r\n0,5\r\n' > "$work/seq.txt"
fail=0
for ms in 150 700 1300 2100 2900 3300; do
  root="$work/root-$ms"
  mkdir -p "$root/C"
  # Yesterday's log and record: whatever the moment, each is whole under its
  # own name or under its kept-copy name, never lost or cut.
  printf 'EARLIER LOG\r\n' > "$root/C/stator-1.txt"
  printf 'EARLIER RECORD\r\n' > "$root/C/Cyclecnt.txt"
  env -u DISPLAY -u WAYLAND_DISPLAY "$tavrin" --headless --board sim --sim-noise 0 --drive-root "$root" \
    "$work/seq.txt" >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v ms="$ms" 'BEGIN { print ms / 1000 }')"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  for pair in "stator-1:EARLIER LOG" "Cyclecnt:EARLIER RECORD"; do
    name=${pair%%:*} text=${pair#*:}
    found=$(grep -lx "$text"$'\r' "$root/C/$name.txt" "$root/C/$name~1.txt" 2>/dev/null | wc -l)
    whole=$(cat "$root/C/$name.txt" "$root/C/$name~1.txt" 2>/dev/null | grep -c "^$text"$'\r$')
    [ "$found" = 1 ] && [ "$whole" = 1 ] ||
      { echo "the earlier $name.txt was not kept whole (killed at $ms ms)"; fail=1; }
    if [ -f "$root/C/$name~1.txt" ] && [ "$(cat "$root/C/$name~1.txt")" != "$text"$'\r' ]; then
      echo "the kept $name~1.txt holds more than the earlier file (killed at $ms ms)"; fail=1
    fi
  done
  for f in $(find "$root" -type f); do
    case "$(basename "$f")" in
      stator-1.txt|Cyclecnt.txt|stator-1~1.txt|Cyclecnt~1.txt) ;;
      # The sweep's plot is written beside and renamed: under its name it is
      # whole (it ends with PNG's closing chunk), and a kill while it was being
      # written leaves only the file beside.
      stator-1.png)
        [ "$(tail -c 8 "$f" | od -An -tx1 | tr -d ' \n')" = 49454e44ae426082 ] ||
          { echo "a cut image $f (killed at $ms ms)"; fail=1; }
        continue ;;
      stator-1.png.*) continue ;;
      *) echo "unexpected file $f"; fail=1; continue ;;
    esac
    # Every line but the last ends in CR LF; no bare LF anywhere.
    if ! awk 'BEGIN{RS="\n"} { if (NR>1 && prev !~ /\r$/) bad=1; prev=$0 } END{ exit bad }' "$f"; then
      echo "a line cut in the middle of $f (killed at $ms ms)"; fail=1
    fi
  done
done
exit $fail
