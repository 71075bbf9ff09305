# The cases the guest runs, in order; guest_lib.sh has the helpers. Every
# command reaches the codec through libusb and the kernel's USB core.
. /rig/guest_lib.sh

version_old=4.119.0000-0000.0007
version_new=4.119.0000-0000.0008
expected=$version_old
[ "$RIG_BROKEN" = 1 ] && expected=4.119.0000-0000.0009   # the deliberately broken run

# tessaload lives in /bin: its Result.txt and config.ini are there, and it
# takes relative file names from there too, so the cases name files by their
# full path. The codec is back on the bus well within two seconds of a reset.
printf '[Quillox Config]\r\nWait Time=2000\r\n' >/bin/config.ini
mkdir -p /tmp/station && cd /tmp/station
tessaload-image build --chip VMC2230 --version "$version_new" -o new.bin >/dev/null || rig_fail image "no new image"

bench_new /tmp/flash VMC2230 "$version_old"
serve /tmp/flash
run_case usbprobe tessaload-usbprobe --vid 3C5A --pid 2230 --version "$version_old" --wait 600
stop_serving

# The factory command line, as a script runs it.
bench_new /tmp/flash VMC2230 "$version_old"
serve /tmp/flash
run_tessaload version-old 0 "Current FW Version: $expected!" -f -version fw.bin
run_tessaload write 0 "Write fw pass!" -f -write /tmp/station/new.bin
run_tessaload version-new 0 "Current FW Version: $version_new!" -f -version fw.bin
run_tessaload verify 0 "Verify fw pass!" -f -verify /tmp/station/new.bin
run_tessaload dumpspi 0 "Dump SPI pass!" -f -dumpspi /tmp/station/dump.bin
cmp -s dump.bin new.bin || rig_fail dumpspi "dump.bin differs from new.bin"
stop_serving

# A codec of another vendor is refused.
rm -rf /tmp/foreign
tessaload-sim create /tmp/foreign >/dev/null
tessaload-sim add /tmp/foreign codec --chip VMC2230 --vid 1234 --pid 5678 --port 1 --firmware /tmp/flash.bin >/dev/null
serve /tmp/foreign
run_tessaload foreign-vid-pid 4 "Check VID/PID Mismatch!" -f -write /tmp/station/new.bin
stop_serving

# Power lost in the middle of a write: a failure, never a codec that starts a
# part image; a second write afterwards succeeds.
bench_new /tmp/flash VMC2230 "$version_old"
tessaload-sim fault /tmp/flash codec disconnect-after=120 >/dev/null
serve /tmp/flash
run_tessaload power-lost '!0' "" -f -write /tmp/station/new.bin
grep -q "Write fw pass!" /tmp/case-power-lost.log && rig_fail power-lost "a pass without the codec"
stop_serving
tessaload-sim plug /tmp/flash codec >/dev/null 2>&1
tessaload-sim dump /tmp/flash codec /tmp/memory.bin >/dev/null
if tessaload-sim show /tmp/flash codec | grep -q "running its firmware"; then
  # Running: the old image untouched, or the whole new one.
  cmp -s -n 65536 /tmp/memory.bin /tmp/flash.bin || cmp -s -n 65536 /tmp/memory.bin new.bin ||
    rig_fail power-lost "the codec runs a part image"
fi
serve /tmp/flash
run_tessaload write-after-power-loss 0 "Write fw pass!" -f -write /tmp/station/new.bin
stop_serving

# Four codecs of four memories programmed at once by the gang.
. /rig/guest_gang.sh

rig_pass "usbprobe, version, write, verify, dumpspi, foreign VID/PID, power loss, gang of four codecs"
