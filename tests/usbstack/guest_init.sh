#!/bin/busybox sh
# The guest's init: the kernel's USB core, USB/IP host controller and audio
# driver, then the cases of /rig/guest_cases.sh, then power off. The last
# line starting with RIG-PASS or RIG-FAIL is the guest's verdict.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
ip link set lo up
while read -r ko; do
  insmod "$ko" || echo "RIG-FAIL boot: insmod $ko failed"
done </rig/modules.txt
cd /tmp
sh /rig/guest_cases.sh
poweroff -f
