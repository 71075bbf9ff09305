#!/usr/bin/env bash
# The USB stack rig: the simulated codec behind the Linux kernel's own USB
# core and audio driver, with no USB hardware. A QEMU guest (software
# emulation, no network device) boots Debian's kernel; inside it the codec is
# served through USB/IP (vhci_hcd), snd-usb-audio binds to it, and the
# project's programs reach it through libusb. The guest runs the cases of
# guest_cases.sh; this script prints one PASS or FAIL line and exits 0 or 1.
#
#   tests/usbstack/rig.sh [--build DIR] [--broken]
#
# --build DIR  the build folder holding bin/ (default: build)
# --broken     runs the cases with a deliberately wrong expectation, to show
#              that a failing case fails the rig and is named
#
# Needs root to install its Debian packages when they are missing. The kernel
# package is unpacked into the cache folder (TESSALOAD_RIG_CACHE, default
# <build>/usbstack-cache), never installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here="$root/tests/usbstack"
build="$root/build"
broken=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --broken) broken=1; shift ;;
    *) echo "usage: tests/usbstack/rig.sh [--build DIR] [--broken]" >&2; exit 2 ;;
  esac
done
started=$(date +%s.%N)
fail() { echo "FAIL usbstack rig: $*"; exit 1; }
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# --- packages
packages=(qemu-system-x86 busybox-static cpio xz-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  [[ $(id -u) -eq 0 ]] || fail "missing packages ${missing[*]} (run as root, or apt-get install them)"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || fail "apt-get install ${missing[*]} failed"
fi

programs=(tessaload tessaload-sim tessaload-image tessaload-sim-usbip tessaload-usbprobe)
for p in "${programs[@]}"; do
  [[ -x "$build/bin/$p" ]] || fail "$build/bin/$p is not built (cmake --build $build)"
done

# --- kernel: Debian's, unpacked into the cache
cache="${TESSALOAD_RIG_CACHE:-$build/usbstack-cache}"
mkdir -p "$cache"
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -1
}
kpkg=$(kernel_package)
if [[ -z "$kpkg" && $(id -u) -eq 0 ]]; then
  apt-get update -qq >/dev/null && kpkg=$(kernel_package)
fi
[[ -n "$kpkg" ]] || fail "no linux-image-amd64 in the package lists (run apt-get update)"
kver=${kpkg#linux-image-}
kroot="$cache/$kpkg"
if [[ ! -f "$kroot/.unpacked" ]]; then
  rm -rf "$kroot" && mkdir -p "$kroot"
  (cd "$cache" && rm -f "$kpkg"_*.deb && apt-get download "$kpkg" >/dev/null 2>&1) || fail "apt-get download $kpkg failed"
  dpkg-deb -x "$cache/$kpkg"_*.deb "$kroot" || fail "cannot unpack $kpkg"
  rm -f "$cache/$kpkg"_*.deb
  touch "$kroot/.unpacked"
fi
vmlinuz="$kroot/boot/vmlinuz-$kver"
# The uncompressed kernel boots through its PVH entry and spares the guest
# its decompression under software emulation; the bzImage is the fallback.
kernel="$cache/vmlinux-$kver"
if [[ ! -s "$kernel" ]]; then
  offset=$(LC_ALL=C grep -obUaP '\xFD7zXZ\x00' "$vmlinuz" | head -1 | cut -d: -f1 || true)
  if [[ -n "$offset" ]]; then
    tail -c +$((offset + 1)) "$vmlinuz" | xz -dc >"$kernel.tmp" 2>/dev/null || true
  fi
  if [[ -s "$kernel.tmp" && "$(head -c 4 "$kernel.tmp" | od -An -tx1 | tr -d ' ')" == 7f454c46 ]]; then
    mv "$kernel.tmp" "$kernel"
  else
    rm -f "$kernel.tmp"
    kernel="$vmlinuz"
  fi
fi

# --- initramfs: busybox, the modules in load order, the programs and their libraries
work=$(mktemp -d "${TMPDIR:-/tmp}/tessaload-rig.XXXXXX")
trap 'rm -rf "$work"' EXIT
ir="$work/initramfs"
mkdir -p "$ir"/{bin,dev,proc,sys,tmp,run,rig,modules}
cp /bin/busybox "$ir/bin/busybox"
modules=(usb-common usbcore usbip-core vhci-hcd soundcore snd snd-timer snd-pcm mc snd-seq-device snd-rawmidi
         snd-hwdep snd-usbmidi-lib snd-usb-audio)
: >"$ir/rig/modules.txt"
for m in "${modules[@]}"; do
  ko=$(find "$kroot/lib/modules/$kver/kernel" -name "$m.ko" -o -name "${m//-/_}.ko" | head -1)
  [[ -n "$ko" ]] || fail "module $m not in $kpkg"
  cp "$ko" "$ir/modules/"
  echo "/modules/$(basename "$ko")" >>"$ir/rig/modules.txt"
done
for p in "${programs[@]}"; do
  cp "$build/bin/$p" "$ir/bin/"
  ldd "$build/bin/$p" | awk '/=> \// { print $3 } /^\t\/[^ ]+ \(/ { print $1 }' | while read -r lib; do
    cp -L --parents -n "$lib" "$ir/"
  done
done
cp "$here"/guest_init.sh "$ir/init"
cp "$here"/guest_lib.sh "$here"/guest_cases.sh "$here"/guest_gang.sh "$ir/rig/"
chmod +x "$ir/init"
(cd "$ir" && find . | cpio -o -H newc --quiet | gzip -1 >"$work/initramfs.cpio.gz")

# --- the guest
append="console=ttyS0 panic=-1 loglevel=3 mitigations=off rig.broken=$broken"
log="$work/console.log"
# One emulated CPU: two (multi-threaded TCG) ran the guest slower on a loaded
# two-core host. The limit leaves room for a loaded host; a run takes 2 minutes.
timeout 240 qemu-system-x86_64 -accel tcg -machine pc -m 512 -smp 1 -nographic -no-reboot -nic none \
  -kernel "$kernel" -initrd "$work/initramfs.cpio.gz" -append "$append" </dev/null >"$log" 2>&1 || true
tr -d '\r' <"$log" >"$log.txt"
keep="${TESSALOAD_RIG_LOG:-$build/usbstack-console.log}"
cp "$log.txt" "$keep"

result=$(grep -E '^RIG-(PASS|FAIL)' "$log.txt" | tail -1 || true)
figures=$(sed -n 's/^RIG-FIGURE //p' "$log.txt" | paste -sd ';' | sed 's/;/; /g')
case "$result" in
  RIG-PASS*) echo "PASS usbstack rig in $(elapsed) s: ${result#RIG-PASS }; $figures"; exit 0 ;;
  RIG-FAIL*) echo "FAIL usbstack rig in $(elapsed) s: ${result#RIG-FAIL }; console log: $keep"; exit 1 ;;
  *) fail "the guest ended without a result ($(grep -m1 -iE 'panic|error' "$log.txt" || echo 'time-out or crash')); console log: $keep" ;;
esac
