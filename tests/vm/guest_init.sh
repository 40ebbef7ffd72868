#!/bin/busybox sh
# First process of the test guest. Loads the input modules, runs the force-feedback driver
# (which starts the client), then the driver again as a rumble pad with the rumble client, and
# writes the two recorded logs, framed by markers, to the second serial port; then powers the
# guest off. Kernel messages stay on the first serial port.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp
out=/dev/ttyS1
stty -F $out raw -echo 2>/dev/null

status=0
for m in $(cat /modules/order); do
    if ! insmod /modules/$m; then
        echo "guest: insmod $m failed" >> /tmp/diagnostics
        status=1
    fi
done
if [ ! -c /dev/uinput ]; then
    echo "guest: /dev/uinput is missing" >> /tmp/diagnostics
    status=1
fi

if [ $status = 0 ]; then
    export LD_LIBRARY_PATH=/lib/x86_64-linux-gnu:/usr/lib/x86_64-linux-gnu
    export KINETRA_DEBUG=1
    export HOME=/tmp
    # The client finds the device by scanning the event nodes; no udev daemon runs here.
    timeout 120 /bin/ff_driver /tmp/ff.log /bin/ff_client >> /tmp/diagnostics 2>&1
    status=$?
    timeout 60 /bin/ff_driver --rumble /tmp/rumble.log /bin/ff_rumble_client \
        >> /tmp/diagnostics 2>&1
    rumble_status=$?
else
    rumble_status=1
fi

{
    echo "=== kinetra-vm log begin"
    [ -f /tmp/ff.log ] && cat /tmp/ff.log
    echo "=== kinetra-vm log end status=$status"
    echo "=== kinetra-vm rumble log begin"
    [ -f /tmp/rumble.log ] && cat /tmp/rumble.log
    echo "=== kinetra-vm rumble log end status=$rumble_status"
    echo "=== kinetra-vm diagnostics"
    cat /tmp/diagnostics 2>/dev/null
    ls -l /dev/input 2>/dev/null
    echo "=== kinetra-vm done"
} > $out 2>&1
sync
poweroff -f
