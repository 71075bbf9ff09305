#!/usr/bin/env bash
# The libusb path on the Linux kernel's own USB stack: the simulated codec in a
# QEMU guest, through USB/IP and snd-usb-audio (tests/usbstack/rig.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exec bash "$root/tests/usbstack/rig.sh" --build "$root/build"
