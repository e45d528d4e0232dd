#!/bin/bash
# The guest's half of scripts/ftdi_vm_check.sh: runs inside the virtual
# machine, in a chroot on the host's root file system (read-only), with the
# emulated FT232 on the guest's USB bus. It writes everything it finds into
# OUT (a folder the host shares writable) and the host judges it.
#
#   ftdi_vm_guest.sh BUILD OUT SCRIPT
#
# It asks the host for a fresh board (tavrin-simboard restarted, with faults)
# or an unplug by writing OUT/request and waiting for OUT/reply.
set -u
build=$1 out=$2 script=$3
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/run QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/run/user
umask 022
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
cd "$out" || exit 1
source "$out/settings"  # tracediff, tolerance, references

# Microseconds on the guest's clock.
now_us() { echo "${EPOCHREALTIME/./}"; }
since_ms() { echo $((($(now_us) - $1) / 1000)); }
note() { echo "$*" >>"$out/guest.txt"; }

# Asks the host for something and waits (up to 30 s) for its answer.
request() {
  rm -f "$out/reply"
  echo "$*" >"$out/request.new" && mv "$out/request.new" "$out/request"
  for _ in $(seq 600); do
    [ -e "$out/reply" ] && return 0
    sleep 0.05
  done
  note "no reply from the host to: $*"
  return 1
}

# The chip's USB address ("" when it is not on the bus).
chip_address() {
  local d
  for d in /sys/bus/usb/devices/*; do
    [ "$(cat "$d/idVendor" 2>/dev/null)" = 0403 ] && cat "$d/devnum" && return
  done
}

# NAME FAULTS ("-" for none): a board plugged in afresh for the run NAME;
# waits until the chip is back on the bus under a new address with its tty
# bound, and prints that address.
fresh_board() {
  local old new=""
  old=$(chip_address)
  request board "$1" "$2" || return 1
  for _ in $(seq 400); do
    new=$(chip_address)
    [ -n "$new" ] && [ "$new" != "$old" ] && [ -e /sys/bus/usb-serial/devices/ttyUSB0 ] && [ -c /dev/ttyUSB0 ] && break
    new=""
    sleep 0.05
  done
  [ -n "$new" ] || note "the chip did not come back for $1"
  echo "$new"
}

# NAME BACKEND FAULTS [UNPLUG_MS]: the contract script on a fresh board, in
# real time, headless; one line in OUT/runs. A run whose trace differs from
# its reference runs again, up to three runs (the earlier traces kept as
# NAME.1.trace, NAME.2.trace): here a reply can miss the program's 50 ms wait.
run() {
  local name=$1 backend=$2 faults=$3 unplug=${4:-} address start status attempt verdict
  local args=(--no-config --board "$backend")
  [ "$backend" = serial ] && args+=(--port /dev/ttyUSB0)
  for attempt in 1 2 3; do
    address=$(fresh_board "$name" "$faults")
    [ -n "$unplug" ] && request unplug "$unplug"
    request start "$name"
    start=$(now_us)
    "$build/tavrin" "${args[@]}" --drive-root "$out/$name" --trace "$out/$name.trace" --script "$script" \
      --realtime --headless >"$out/$name.out" 2>"$out/$name.err"
    status=$?
    [ -n "$unplug" ] && break
    verdict=$("$tracediff" --any-device "${tolerance[@]}" "$out/$name.trace" "$references/virtual-${faults/-/plain}.trace") && break
    [ $attempt != 3 ] && note "$name: run again, run $attempt's trace differed: $(echo "$verdict" | head -1)" &&
      mv "$out/$name.trace" "$out/$name.$attempt.trace" && rm -rf "${out:?}/$name"
  done
  echo "$name $backend $faults address ${address:-none} status $status ms $(since_ms "$start") attempts $attempt" >>"$out/runs"
}

note "guest up at $(cut -d' ' -f1 /proc/uptime) s"

# The listing, with the board the host started first.
for _ in $(seq 200); do [ -c /dev/ttyUSB0 ] && break; sleep 0.05; done
start=$(now_us)
"$build/tavrin" --no-config --list-boards >"$out/list-boards.out" 2>"$out/list-boards.err"
echo "list-boards status $? ms $(since_ms "$start")" >>"$out/runs"

run ftdi ftdi -
run serial serial -
run ftdi-short ftdi short
run serial-short serial short
run ftdi-silent ftdi silent
run serial-silent serial silent
run ftdi-unplug ftdi - 1500
run serial-unplug serial - 1500

# Opening the tty: the kernel raises DTR and RTS, the backend clears them.
# The host reads how long from QEMU's log; the backend's own figure here.
address=$(fresh_board opens -)
request start opens
"$build/bench/bench_dtr_pulse" --opens 20 /dev/ttyUSB0 >"$out/opens.out" 2>&1
echo "opens serial - address ${address:-none} status $? ms 0" >>"$out/runs"

# A reply's round trip through ftdi_sio and the emulated chip: a reading's
# frame written to the tty, the 10 bytes of the reply read back. Less the
# board's own wait, the rest is the way there and back.
address=$(fresh_board latency -)
request start latency
if exec 3<>/dev/ttyUSB0 && stty -F /dev/ttyUSB0 raw -echo 19200 cs8 -cstopb -parenb -crtscts; then
  for _ in $(seq 20); do
    start=$(now_us)
    printf '\x02\x07\x00\x2d\x0e\x56\x00\x2d\x0e\x56\x00\x00\x04\x00\x01\x00\x00\x00\x03' >&3
    if IFS= read -r -t 2 -N 10 reply <&3 && [ "${reply:0:5}" = "ADC&H" ]; then
      echo "$((($(now_us) - start)))" >>"$out/latency-us"
    else
      note "a reading's reply did not come back whole: '${reply:-}'"
    fi
  done
  exec 3>&-
fi
echo "latency serial - address ${address:-none} status 0 ms 0" >>"$out/runs"

note "guest done at $(cut -d' ' -f1 /proc/uptime) s"
