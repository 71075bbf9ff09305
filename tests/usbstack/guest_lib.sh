# The guest's helpers for the cases in guest_cases.sh. A case that fails ends
# the run at once with "RIG-FAIL <case>: <reason>"; figures are printed as
# "RIG-FIGURE <name> <value>" lines and collected by the rig.
set -u
RIG_SYSFS_DEVICE=/sys/bus/usb/devices/1-1          # port 1 of the virtual host controller
RIG_AUDIO_FUNCTION=$RIG_SYSFS_DEVICE:1.0           # the audio-control interface
RIG_BROKEN=0
grep -q 'rig.broken=1' /proc/cmdline && RIG_BROKEN=1
rig_server_pid=""

rig_now_ms() { awk '{ printf "%d", $1 * 1000 }' /proc/uptime; }

rig_fail() {
  echo "--- server log"
  sed 's/^/  | /' /tmp/usbip.log 2>/dev/null | tail -n 30
  echo "--- kernel log"
  dmesg | tail -n 40 | sed 's/^/  | /'
  echo "RIG-FAIL $1: $2"
  [ -n "$rig_server_pid" ] && kill "$rig_server_pid" 2>/dev/null
  poweroff -f
  exit 1
}

rig_figure() { echo "RIG-FIGURE $*"; }

# bench_new DIR CHIP VERSION: a bench with one flash codec running a sample
# firmware of that version.
bench_new() {
  rm -rf "$1"
  tessaload-image build --chip "$2" --version "$3" -o "$1.bin" >/dev/null || rig_fail bench "no image $2 $3"
  tessaload-sim create "$1" >/dev/null && tessaload-sim add "$1" codec --chip "$2" --port 1 --firmware "$1.bin" \
    >/dev/null || rig_fail bench "no bench $1"
}

audio_driver() {
  d=$(readlink "$RIG_AUDIO_FUNCTION/driver" 2>/dev/null) && basename "$d"
}

# wait_audio_bound CASE [MS]: until snd-usb-audio owns the audio-control interface.
wait_audio_bound() {
  deadline=$(( $(rig_now_ms) + ${2:-5000} ))
  while [ "$(audio_driver)" != snd-usb-audio ]; do
    [ "$(rig_now_ms)" -lt "$deadline" ] || rig_fail "$1" "snd-usb-audio is not bound to the codec (driver: $(audio_driver || echo none))"
    sleep 0.05
  done
}

# serve BENCH: serves the bench through USB/IP until snd-usb-audio has bound.
serve() {
  start=$(rig_now_ms)
  tessaload-sim-usbip "$1" >/tmp/usbip.log 2>&1 &
  rig_server_pid=$!
  wait_audio_bound serve 10000
  grep -q . /proc/asound/cards || rig_fail serve "no sound card listed"
  rig_figure attach-to-audio-bound "$(( $(rig_now_ms) - start )) ms"
}

stop_serving() {
  kill "$rig_server_pid" && wait "$rig_server_pid"
  rig_server_pid=""
}

# run_case CASE COMMAND...: the command must exit 0, and the kernel's audio
# driver must own the codec again afterwards (the program gave the interface
# back). Its "figure" lines become figures.
run_case() {
  name=$1
  shift
  start=$(rig_now_ms)
  "$@" >"/tmp/case-$name.log" 2>&1
  rc=$?
  sed 's/^/  | /' "/tmp/case-$name.log"
  sed -n 's/^figure /RIG-FIGURE /p' "/tmp/case-$name.log"
  if [ "$rc" -ne 0 ]; then
    why=$(grep -m1 '^FAIL' "/tmp/case-$name.log" || tail -n1 "/tmp/case-$name.log")
    rig_fail "$name" "exit $rc: $why"
  fi
  wait_audio_bound "$name-audio-driver-back" 3000
  echo "case $name passed in $(( $(rig_now_ms) - start )) ms"
}

rig_pass() { echo "RIG-PASS $*"; }

# run_tessaload CASE EXIT TEXT ARGS...: tessaload through libusb (no
# TESSALOAD_SIM) must exit with EXIT ("!0": any failure) and print TEXT;
# afterwards the kernel's audio driver must own the codec again. Its wall
# time becomes a figure.
run_tessaload() {
  name=$1 want=$2 text=$3
  shift 3
  start=$(rig_now_ms)
  rm -f /bin/Log.txt
  env -u TESSALOAD_SIM TESSALOAD_TRACE=1 tessaload "$@" >"/tmp/case-$name.log" 2>&1
  rc=$?
  sed 's/^/  | /' "/tmp/case-$name.log"
  echo  # the prompt ends the program's output without a line end
  if [ "$want" = "!0" ]; then ok=$([ "$rc" -ne 0 ] && echo 1); else ok=$([ "$rc" -eq "$want" ] && echo 1); fi
  [ -n "$ok" ] || { echo "--- trace"; ls -la /bin/Log.txt /bin/Result.txt; tail -c 3000 /bin/Log.txt | tr -d '\r' | grep -v -e 'START --->>>' -e 'EXIT <<<---' | sed 's/^/  | /'; false; } || rig_fail "$name" "exit $rc, not $want: $(tr -d '\r' <"/tmp/case-$name.log" | grep -v '^$' | head -n 3 | paste -sd '|')"
  [ -z "$text" ] || grep -qF "$text" "/tmp/case-$name.log" || rig_fail "$name" "no \"$text\" on the console"
  resets=$(tr -d '\r' </bin/Log.txt | sed -n 's/.*found again after \([0-9]*\) ms.*/\1/p' | awk '{ n++; t += $1 } END { if (n) printf "%d resets %d ms", n, t }')
  rig_figure "tessaload-$name" "$(( $(rig_now_ms) - start )) ms${resets:+, of which $resets}"
  # A codec still on the bus is the audio driver's again (one that lost its
  # power is not on the bus at all).
  [ ! -e "$RIG_SYSFS_DEVICE" ] || wait_audio_bound "$name-audio-driver-back" 5000
  echo "case $name passed"
}
