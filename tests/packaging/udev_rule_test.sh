#!/usr/bin/env bash
# Reads the udev rule as udev would (continued lines joined) and checks what it
# promises its users: the serial port keeps its distribution's group, the USB
# device goes to plugdev, both get uaccess, the latency timer is set on add and
# change for the listed products only.
set -uo pipefail
rule="${1:?usage: udev_rule_test.sh RULES_FILE}"
fail=0
check() { if ! (eval "$2"); then echo "FAIL: $1"; fail=1; fi; }
# One rule a line: backslash-newline joins, comments and blanks go.
rules="$(sed -e ':a' -e '/\\$/N; s/\\\n[[:space:]]*/ /; ta' "$rule" | grep -v '^[[:space:]]*#' | grep -v '^[[:space:]]*$')"
line() { grep -F -- "$1" <<<"$rules"; }
products='ATTRS{idProduct}=="6001|6010|6011|6014|6015"'

usb="$(line 'SUBSYSTEM=="usb"')"
tty="$(line 'SUBSYSTEM=="tty"')"
latency="$(line 'latency_timer')"
check "one rule for the USB device" '[ "$(grep -c . <<<"$usb")" = 1 ]'
check "one rule for the serial port" '[ "$(grep -c . <<<"$tty")" = 1 ]'
check "one latency rule" '[ "$(grep -c . <<<"$latency")" = 1 ]'
check "the USB device goes to plugdev with uaccess" \
  'grep -qF "GROUP=\"plugdev\"" <<<"$usb" && grep -qF "TAG+=\"uaccess\"" <<<"$usb" && grep -qF "MODE=\"0660\"" <<<"$usb"'
check "the serial port keeps its group and mode, and gains uaccess" \
  '! grep -qE "GROUP|MODE|OWNER" <<<"$tty" && grep -qF "TAG+=\"uaccess\"" <<<"$tty"'
check "ModemManager leaves both alone" \
  'grep -qF "ID_MM_DEVICE_IGNORE}=\"1\"" <<<"$usb" && grep -qF "ID_MM_DEVICE_IGNORE}=\"1\"" <<<"$tty"'
check "every rule matches FTDI's vendor and the listed products only" \
  'grep -qF "ATTR{idVendor}==\"0403\"" <<<"$usb" && grep -qF "ATTR{idProduct}==\"6001|6010|6011|6014|6015\"" <<<"$usb" &&
   for r in "$tty" "$latency"; do grep -qF "ATTRS{idVendor}==\"0403\"" <<<"$r" && grep -qF "$products" <<<"$r" || exit 1; done'
check "the latency timer is set on add and change, for ftdi_sio" \
  'grep -qF "ACTION==\"add|change\"" <<<"$latency" && grep -qF "DRIVERS==\"ftdi_sio\"" <<<"$latency" &&
   grep -qF "ATTR{latency_timer}=\"1\"" <<<"$latency"'
check "removal skips every rule, to a label that exists" \
  'grep -qF "ACTION==\"remove\", GOTO=\"tavrin_ftdi_end\"" <<<"$(head -1 <<<"$rules")" &&
   grep -qxF "LABEL=\"tavrin_ftdi_end\"" <<<"$(tail -1 <<<"$rules")"'
check "no group the user cannot join is handed out" '! grep -qE "GROUP=\"(root|dialout|tty)\"" <<<"$rules"'
# udevadm verify (systemd 253 on) checks the syntax where it exists.
if udevadm verify --help >/dev/null 2>&1; then
  check "udevadm verify accepts it" 'udevadm verify "$rule" >/dev/null'
fi
[ $fail = 0 ] && echo "udev rule: every check passed"
exit $fail
