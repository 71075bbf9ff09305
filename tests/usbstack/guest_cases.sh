# The cases the guest runs, in order; guest_lib.sh has the helpers. Every
# command reaches the codec through libusb and the kernel's USB core.
. /rig/guest_lib.sh

version_old=4.119.0000-0000.0007
expected=$version_old
[ "$RIG_BROKEN" = 1 ] && expected=4.119.0000-0000.0009   # the deliberately broken run

bench_new /tmp/flash VMC2230 "$version_old"
serve /tmp/flash
run_case usbprobe tessaload-usbprobe --vid 3C5A --pid 2230 --version "$expected" --wait 600
stop_serving

rig_pass "usbprobe"
