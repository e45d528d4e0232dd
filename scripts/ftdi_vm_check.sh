#!/usr/bin/env bash
# The libftdi1 and serial backends against a chip this project did not write:
# QEMU's emulated FTDI FT232 (-device usb-serial), behind an emulated xHCI
# controller, in a small virtual machine running Debian's kernel. libftdi1
# reaches the chip through libusb and usbfs, the serial backend through the
# kernel's ftdi_sio and /dev/ttyUSB0. The chip's far end is tavrin-simboard
# on a Unix socket.
#
#   scripts/ftdi_vm_check.sh [BUILD_DIR]     (default: build/)
#
# The guest has no disk image: the kernel, an initramfs made here (busybox and
# the modules for the USB controller, ftdi_sio and 9p) and this machine's root
# file system shared read-only over virtio-9p, with BUILD_DIR/ftdi-vm/out
# shared writable for the results. The guest runs scripts/ftdi_vm_guest.sh;
# this script serves the board, unplugs the chip when asked, and judges:
#   - the contract script's link trace through each backend against the
#     simulated board's in virtual time, plain and with the faults a board can
#     show on the wire (replies cut short, silence);
#   - from QEMU's own trace of the chip (-trace usb_serial_*), that the chip
#     got the set-up in order and every DTR and RTS change the link trace
#     shows, and how long opening the tty leaves DTR and RTS up;
#   - the listing in the guest, and the board unplugged mid-run (device_del).
# Figures: boot time, the DTR/RTS pulse of a tty open, reply latency, listing
# and open time through libftdi1.
#
# Needs qemu-system-x86_64 (qemu-system-x86), a static busybox
# (busybox-static) and libftdi1 (libftdi1-2); the guest kernel is Debian's
# linux-image-amd64, fetched once with apt-get download into build-vm/ (or
# TAVRIN_VM_KERNEL=/path/to/unpacked/package). Prints "skipped: why" and exits
# 0 when one of them is missing; exits 1 when a check fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd) || exit 1
work=$build/ftdi-vm
out=$work/out
contract=$root/tests/contract/contract.script
script=$work/vm.script
failed=0
fail() {
  echo "ftdi_vm_check: FAIL: $*"
  failed=1
}
skip() {
  echo "ftdi_vm_check: skipped: $*"
  exit 0
}
say() { echo "ftdi_vm_check: $*"; }

# --- What it needs -----------------------------------------------------------
command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64 (Debian package qemu-system-x86)"
busybox=$(command -v busybox) || skip "no busybox (Debian package busybox-static)"
ldd "$busybox" >/dev/null 2>&1 && skip "$busybox is not static: the initramfs has no libraries (busybox-static)"
{ ldconfig -p 2>/dev/null || /sbin/ldconfig -p 2>/dev/null; } | grep -q 'libftdi1\.so\.2 ' || skip "no libftdi1 (Debian package libftdi1-2)"
for program in tavrin tavrin-script tavrin-simboard tavrin-tracediff bench/bench_dtr_pulse; do
  [ -x "$build/$program" ] || { echo "ftdi_vm_check: $build/$program is not built" >&2; exit 1; }
done
case "$root$build" in *[[:space:]]*) skip "the guest's command line cannot carry paths with blanks ($build)" ;; esac

# The guest kernel: an unpacked linux-image package (boot/vmlinuz-*,
# lib/modules/*).
kernel=${TAVRIN_VM_KERNEL:-$root/build-vm/kernel}
if ! compgen -G "$kernel/boot/vmlinuz-*" >/dev/null; then
  [ -n "${TAVRIN_VM_KERNEL:-}" ] && skip "no boot/vmlinuz-* in TAVRIN_VM_KERNEL=$kernel"
  command -v apt-get >/dev/null || skip "no guest kernel in $kernel and no apt-get to fetch one"
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)/\1/p' | head -1)
  [ -n "$package" ] || skip "apt-get knows no linux-image-amd64 (run apt-get update)"
  say "fetching the guest kernel ($package) into $kernel"
  rm -rf "$kernel.new" && mkdir -p "$kernel.new" &&
    (cd "$kernel.new" && apt-get download -q "$package" >/dev/null 2>&1) &&
    dpkg-deb -x "$kernel.new"/*.deb "$kernel.new" && rm -f "$kernel.new"/*.deb &&
    rm -rf "$kernel" && mv "$kernel.new" "$kernel" || skip "the guest kernel could not be fetched ($package)"
fi
vmlinuz=$(compgen -G "$kernel/boot/vmlinuz-*" | head -1)
modules=$(compgen -G "$kernel/lib/modules/*" | head -1)
[ -d "$modules/kernel" ] || skip "no modules beside $vmlinuz"

rm -rf "$work" && mkdir -p "$out" || exit 1
cd "$work" || exit 1
started=$(date +%s%N)

# The contract script with its times stretched for an emulated machine about
# ten times slower than this one: a second later, and twice the time between
# the operator's steps, so that the program's start-up and the sweep end
# before the next step comes, as they do in virtual time.
awk '/^[0-9]/ { $1 = 1000 + 2 * $1 } { print }' "$contract" >"$script"

# --- The initramfs -------------------------------------------------------------
# Busybox, and the modules in the order their dependencies ask (each module's
# own .modinfo names them).
initrd=$work/initrd
mkdir -p "$initrd"/{bin,mod,dev,proc,sys,newroot}
cp "$busybox" "$initrd/bin/busybox"
declare -A loaded=()
load_order=()
add_module() {
  local file name depends
  file=$(find "$modules/kernel" -name "$1.ko" -o -name "${1//_/-}.ko" -o -name "${1//-/_}.ko" | head -1)
  [ -n "$file" ] || return 1
  name=$(basename "$file" .ko)
  [ -n "${loaded[$name]:-}" ] && return 0
  loaded[$name]=1
  depends=$("$busybox" strings "$file" 2>/dev/null | sed -n 's/^depends=//p' | head -1)
  [ -n "$depends" ] || depends=$(grep -a -o 'depends=[a-z0-9_,-]*' "$file" | head -1 | cut -d= -f2)
  for d in ${depends//,/ }; do add_module "$d" || return 1; done
  cp "$file" "$initrd/mod/"
  load_order+=("$name")
}
for m in virtio_pci 9pnet_virtio 9p xhci_pci ftdi_sio; do
  add_module "$m" || skip "the guest kernel has no module $m"
done
echo "${load_order[*]}" >"$initrd/mod/order"
cat >"$initrd/init" <<'EOF'
#!/bin/busybox sh
b=/bin/busybox
$b mount -t proc proc /proc
$b mount -t sysfs sys /sys
$b mount -t devtmpfs dev /dev
for m in $($b cat /mod/order); do $b insmod /mod/$m.ko || echo "tavrin-vm: insmod $m failed"; done
for word in $($b cat /proc/cmdline); do
  case "$word" in tavrin.*=*) name=${word%%=*}; eval "${name#tavrin.}=\${word#*=}" ;; esac
done
if $b mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 root /newroot &&
   $b mount -t 9p -o trans=virtio,version=9p2000.L,cache=none out /newroot$out; then
  for d in dev proc sys; do $b mount --bind /$d /newroot/$d; done
  $b mount -t tmpfs run /newroot/run
  echo "tavrin-vm: up at $($b cut -d' ' -f1 /proc/uptime) s"
  $b chroot /newroot /bin/bash $guest $build $out $script
  echo "tavrin-vm: done, status $?"
else
  echo "tavrin-vm: the host's file systems did not mount"
fi
$b sync
$b poweroff -f
EOF
chmod +x "$initrd/init"
(cd "$initrd" && "$busybox" find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz" ||
  { echo "ftdi_vm_check: the initramfs could not be made" >&2; exit 1; }

# --- The board, and the chip's unplugs ----------------------------------------
socket=$work/board.sock
# The emulated machine and its far end keep their time only with a core to
# themselves: as root they run before whatever else this host is doing.
urgent=()
[ "$(id -u)" = 0 ] && urgent=(nice -n -10)
# The board answers 1 ms after a request instead of 20: the emulated machine's
# slower way there and back (about 10 ms, at times 35, more on a loaded host)
# then still fits in the program's 50 ms wait, as a real chip's does at 20.
# The virtual-time references answer alike.
board_latency=1
board_pid=""
boards=0
# FAULTS ("-" for none): a new tavrin-simboard on the socket; QEMU reconnects
# to it (reconnect=1), which plugs the chip in again.
start_board() {
  if [ -n "$board_pid" ]; then
    kill -TERM "$board_pid" 2>/dev/null
    wait "$board_pid" 2>/dev/null
  fi
  boards=$((boards + 1))
  local faults=()
  [ "$1" != - ] && faults=(--sim-fault "$1")
  "${urgent[@]}" "$build/tavrin-simboard" --socket "$socket" --lines-from-frames --sim-latency $board_latency \
    "${faults[@]}" </dev/null \
    >"$work/board-$boards.out" 2>"$work/board-$boards.err" &
  board_pid=$!
  for _ in $(seq 100); do [ -S "$socket" ] && return 0; sleep 0.05; done
  fail "tavrin-simboard did not listen: $(cat "$work/board-$boards.err")"
}
# Waits (up to 10 s) for QEMU to connect to the latest board.
board_connected() {
  for _ in $(seq 200); do grep -q CONNECTED "$work/board-$boards.out" && return 0; sleep 0.05; done
  fail "QEMU did not connect to board $boards"
  return 1
}
start_board -

# --- What the guest compares with ---------------------------------------------
# The virtual-time reference of the stretched script, plain or with faults.
reference() {
  "$build/tavrin-script" --board sim --sim-latency $board_latency ${2:+--sim-fault "$2"} --drive-root "$work/virtual-$1" \
    --trace "$work/virtual-$1.trace" --script "$script" >"$work/virtual-$1.out" 2>"$work/virtual-$1.err" ||
    fail "the virtual-time reference $1 ended with status $?: $(cat "$work/virtual-$1.err")"
}
reference plain ""
reference short short
reference silent silent
reference unplug unplug=70

# Times may differ by 500 ms plus 5 % of the later one: the emulated machine
# is about ten times slower, the program takes 100 to 300 ms to start there
# (Qt, the libraries) against none in virtual time, and through libftdi1 each
# look for a reply waits out the read timeout (20 ms) on this chip, which
# answers nothing while it has nothing (a real one answers within its 1 ms
# latency timer). The operations and every byte must match exactly.
tolerance=(--tolerance 500 --relative 0.05)
# The guest compares each run with its reference too, and runs it again (up
# to three runs) when they differ: on this emulated machine a reply can come
# too late for the program's 50 ms wait (the whole way there and back is 10
# to 35 ms here, over 100 on a loaded host, against 1 or 2 for a real chip).
# What it read is in OUT/settings.
{
  echo "tracediff=$build/tavrin-tracediff"
  echo "tolerance=(${tolerance[*]})"
  echo "references=$work"
} >"$out/settings"

# QEMU's monitor on a pair of pipes: device_del and device_add.
mkfifo "$work/monitor.in" "$work/monitor.out"
exec 7<>"$work/monitor.in" 8<>"$work/monitor.out"
cat <&8 >"$work/monitor.log" &
monitor_reader=$!
chip="usb-serial,chardev=board,id=chip,serial=TVQEMU01"

qemu_started=$(date +%s%N)
"${urgent[@]}" qemu-system-x86_64 -M pc -m 1024 -smp 1 -nographic -no-reboot -nic none -nodefaults -serial stdio \
  -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 tavrin.guest=${TAVRIN_VM_GUEST:-$root/scripts/ftdi_vm_guest.sh} tavrin.build=$build tavrin.out=$out tavrin.script=$script" \
  -virtfs local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$out,mount_tag=out,security_model=none" \
  -device qemu-xhci,id=xhci -chardev "socket,id=board,path=$socket,reconnect=1" -device "$chip" \
  -monitor "pipe:$work/monitor" -trace 'usb_serial_*' -D "$work/chip.log" -msg timestamp=on \
  </dev/null >"$work/console.log" 2>&1 &
qemu=$!

# Serves the guest's requests until QEMU ends (at most 10 minutes). The loop
# forks nothing while it waits (its pauses are reads that time out on a pipe
# nobody writes): the emulated machine needs both cores.
unplugged=0
mkfifo "$work/idle"
exec 9<>"$work/idle"
deadline=$((SECONDS + 600))
while kill -0 "$qemu" 2>/dev/null; do
  if [ "$SECONDS" -gt "$deadline" ]; then
    fail "the guest did not finish in 10 minutes"
    kill "$qemu"
    break
  fi
  if [ -e "$out/request" ]; then
    read -r verb name value <"$out/request"
    rm -f "$out/request"
    case "$verb" in
      start)
        echo "$name $(date +%s%N)" >>"$work/plugs"
        echo ready >"$out/reply"
        ;;
      board)
        echo "plug:$name $(date +%s%N)" >>"$work/plugs"
        start_board "$value"
        if [ "$unplugged" = 1 ]; then
          echo "device_add $chip" >&7
          unplugged=0
        fi
        board_connected
        echo ready >"$out/reply"
        ;;
      unplug)
        (sleep "$(awk -v ms="$name" 'BEGIN { print ms / 1000 }')" && echo "device_del chip" >&7) &
        unplugged=1
        echo ready >"$out/reply"
        ;;
      *) fail "the guest asked for '$verb'" ;;
    esac
  fi
  read -r -t 0.02 -u 9 _
done
wait "$qemu"
qemu_status=$?
qemu_ms=$((($(date +%s%N) - qemu_started) / 1000000))
kill -TERM "$board_pid" 2>/dev/null
kill "$monitor_reader" 2>/dev/null
exec 7>&- 8>&- 9>&-
wait 2>/dev/null

if [ "$qemu_status" != 0 ] || ! grep -q "tavrin-vm: done" "$work/console.log"; then
  fail "the guest did not run to its end (QEMU status $qemu_status): $(tail -5 "$work/console.log")"
  exit 1
fi
say "guest: $(grep -o 'up at [0-9.]* s' "$work/console.log" | head -1) after boot began; whole run ${qemu_ms} ms"
[ -s "$out/guest.txt" ] && sed 's/^/ftdi_vm_check: guest: /' "$out/guest.txt"

# --- What the guest found --------------------------------------------------------

# What a run's line in OUT/runs says: FIELD of the run NAME.
run_field() { awk -v name="$1" -v field="$2" '$1 == name { for (i = 2; i < NF; i++) if ($i == field) print $(i + 1) }' "$out/runs"; }

# The chip's requests from the start of the run NAME to the next plug, in
# words, one a line:
# "latency 1", "reset", "purge rx", "purge tx", "baud 19200", "data 8N1",
# "flow 0", "DTR on", "RTS off" ...; with --times, each after its time in us.
chip_requests() {
  local from to
  # The run's last start (a run may have been run again) to the next entry.
  from=$(awk -v name="$1" '$1 == name { from = $2 } END { print from }' "$work/plugs")
  to=$(awk -v name="$1" 'found { to = $2; found = 0 } $1 == name { found = 1; to = "" } END { print to }' "$work/plugs")
  awk -v from="${from:-0}" -v to="${to:-0}" -v times="${2:-}" '
    function hex(text,  i, v) {
      sub(/^0x/, "", text); v = 0
      for (i = 1; i <= length(text); i++) v = v * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
      return v
    }
    function bit(v, b) { return int(v / b) % 2 }
    function emit(what) { if (times != "") printf "%.0f ", now; print what }
    {
      # "PID@SECONDS.MICROS:event ...": microseconds, compared with the plug times (ns).
      split($0, head, /[@:]/); split(head[2], t, "."); now = t[1] * 1000000 + t[2]
      if (now * 1000 < from + 0 || (to > 0 && now * 1000 >= to + 0)) next
    }
    /got control 0x4000, value 0x0$/ { emit("reset") }
    /got control 0x4000, value 0x1$/ { emit("purge rx") }
    /got control 0x4000, value 0x2$/ { emit("purge tx") }
    /got control 0x4001,/ {
      v = hex($NF)
      if (bit(v, 256)) emit("DTR " (bit(v, 1) ? "on" : "off"))
      if (bit(v, 512)) emit("RTS " (bit(v, 2) ? "on" : "off"))
    }
    /got control 0x4002,/ { flow = 1 }
    /usb_serial_set_flow_control/ && flow { flow = 0; emit("flow " $NF) }
    /usb_serial_set_baud/ { emit("baud " $NF) }
    /usb_serial_set_data/ { emit("data " $(NF - 6) $(NF - 3) $NF) }
    /got control 0x4009,/ { emit("latency " hex($NF)) }
  ' "$work/chip.log" | sed 's/data \([A-Z]\),\([0-9]\),/data \2\1/'
}

# The same requests as the link trace of a run asks them of the chip, from
# its calls that succeeded. libftdi1's open resets the chip and sets 9600
# baud of its own accord; the backend then sets the latency timer.
trace_requests() {
  awk '$0 !~ / -> 0( |$)/ { next }
       $2 == "FT_OpenEx" { print "reset"; print "baud 9600"; print "latency 1" }  # libftdi1 opens so, then the backend
       $2 == "FT_ResetDevice" { print "reset" }
       $2 == "FT_Purge" { if ($3 % 2) print "purge rx"; if (int($3 / 2) % 2) print "purge tx" }
       $2 == "FT_SetBaudRate" { print "baud " $3 }
       $2 == "FT_SetDataCharacteristics" { print "data " $3 ($5 == 0 ? "N" : "?") ($4 == 0 ? 1 : 2) }
       $2 == "FT_SetFlowControl" { print "flow " $3 }
       $2 == "FT_SetDtr" { print "DTR on" }
       $2 == "FT_ClrDtr" { print "DTR off" }
       $2 == "FT_SetRts" { print "RTS on" }
       $2 == "FT_ClrRts" { print "RTS off" }' "$1"
}
median_max() { sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "median %s, max %s (%d)", v[int((NR + 1) / 2)], v[NR], NR; else print "none" }'; }

# The listing: the chip under both backends, with its serial and description.
grep -qP '^ftdi\t0\tTVQEMU01\tQEMU USB SERIAL$' "$out/list-boards.out" &&
  grep -qP '^serial\t0\tTVQEMU01\t/dev/ttyUSB0 \(QEMU USB SERIAL\)$' "$out/list-boards.out" &&
  say "listing: the chip under ftdi and serial (TVQEMU01, QEMU USB SERIAL), $(run_field list-boards ms) ms for tavrin --list-boards" ||
  fail "the listing does not show the chip under both backends: $(cat "$out/list-boards.out" "$out/list-boards.err")"

# The contract runs: the link trace against virtual time, and what the chip got.
lines_of() { grep -E '^(DTR|RTS) '; }
for run in ftdi serial ftdi-short serial-short ftdi-silent serial-silent; do
  backend=${run%%-*} faults=${run#*-}
  [ "$faults" = "$run" ] && faults=plain
  status=$(run_field "$run" status)
  [ "$status" = 0 ] || fail "$run: the program ended with status '$status': $(tail -3 "$out/$run.err")"
  if verdict=$("$build/tavrin-tracediff" --any-device "${tolerance[@]}" "$out/$run.trace" "$work/virtual-$faults.trace"); then
    say "$run: $verdict"
  else
    fail "$run: $verdict"
  fi
  trace_requests "$out/$run.trace" >"$work/$run.asked"
  chip_requests "$run" >"$work/$run.chip"
  if [ "$backend" = ftdi ]; then
    # libftdi1 sends what the program asks, and nothing else.
    if diff -q "$work/$run.asked" "$work/$run.chip" >/dev/null; then
      say "$run: the chip got the set-up and all $(lines_of <"$work/$run.asked" | wc -l) line changes, in order: $(head -7 "$work/$run.chip" | paste -sd, -)"
    else
      fail "$run: the chip's requests differ from the trace's: $(diff "$work/$run.asked" "$work/$run.chip" | head -5 | paste -sd' ' -)"
    fi
  else
    # ftdi_sio adds its own: the lines raised by the open and cleared by the
    # backend, and dropped by the close (HUPCL) after the program's own.
    { printf 'DTR on\nRTS on\nDTR off\nRTS off\n'; lines_of <"$work/$run.asked"; printf 'DTR off\nRTS off\n'; } >"$work/$run.expected"
    if lines_of <"$work/$run.chip" | diff -q "$work/$run.expected" - >/dev/null &&
       [ "$(grep '^baud' "$work/$run.chip" | tail -1)" = "baud 19200" ] &&
       [ "$(grep '^data' "$work/$run.chip" | tail -1)" = "data 8N1" ] &&
       [ "$(grep '^flow' "$work/$run.chip" | tail -1)" = "flow 0" ]; then
      say "$run: the chip ends at 19200 8N1 without flow control, and got the open's pulse, all $(lines_of <"$work/$run.asked" | wc -l) line changes in order and the close's drop"
    else
      fail "$run: the chip's line changes or settings differ: $(lines_of <"$work/$run.chip" | diff "$work/$run.expected" - | head -5 | paste -sd' ' -)"
    fi
  fi
done

# Unplugged mid-run: the messages and the status of the simulated unplug.
for run in ftdi-unplug serial-unplug; do
  status=$(run_field "$run" status) want=0
  got_info=$(grep '^Info.text=' "$out/$run.out" | tail -1)
  want_info=$(grep '^Info.text=' "$work/virtual-unplug.out" | tail -1)
  if [ "$status" = "$want" ] && [ "$got_info" = "$want_info" ]; then
    say "$run: status $status and '${got_info#Info.text=}', as the simulated unplug"
  else
    fail "$run: status $status and '${got_info#Info.text=}'; the simulated unplug: status $want and '${want_info#Info.text=}'"
  fi
done

# Opening the tty: how long the chip saw DTR and RTS up (ms), from its raise
# to the backend's clear, over the 20 opens.
pulses=$(chip_requests opens times | awk '$2 == "DTR" && $3 == "on" { up = $1 } $2 == "DTR" && $3 == "off" && up { printf "%.2f\n", ($1 - up) / 1000; up = 0 }' | median_max)
say "opening /dev/ttyUSB0 through ftdi_sio: DTR and RTS up for $pulses ms at the chip; the backend's own figure: $(sed 's/^.*opens, //' "$out/opens.out")"
case "$pulses" in *"(20)") ;; *) fail "not 20 open pulses at the chip: $pulses" ;; esac

# A reply's round trip through ftdi_sio and the chip, less the board's own wait.
latency=$(awk -v board=$board_latency '{ printf "%.2f\n", $1 / 1000 - board }' "$out/latency-us" 2>/dev/null | median_max)
say "a reading's reply through ftdi_sio and the chip, beyond the board's ${board_latency} ms: $latency ms"

# Through libftdi1: the listing and the open, from the plain run's trace.
say "libftdi1: $(awk '$2 == "FT_ListDevices" && !first { first = $1 } $2 == "FT_OpenEx" { printf "listing done at %.1f ms of the program, the open %.1f ms more", last, $1 - last; exit } { last = $1 }' "$out/ftdi.trace")"

elapsed=$((($(date +%s%N) - started) / 1000000))
say "done in $elapsed ms"
exit $failed
