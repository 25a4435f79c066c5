#!/bin/bash
# The guest's root side: installs the .deb, plugs the simulated devices in as USB gadgets, lets the
# user's side run, then puts the logs into the results folder and powers the guest off.
. /hostshare/guest-lib.sh
exec > >(tee -a $R/root.log) 2>&1
log "root side: kernel $(uname -r), systemd $(systemctl --version | head -1 | cut -d' ' -f2); $(grep MemTotal /proc/meminfo)"
# The boot, against a normal host's, sets how far the test's waits stretch (and the host's limits).
starved=0 elapsed=0; read -r starved elapsed 2>/dev/null <$R/host-starved
boot_speed ${elapsed:-0} ${starved:-0} >$R/speed
log "booted in $((${elapsed:-0} / 1000)) s from QEMU's start, $((${starved:-0} / 1000)) s of it waiting for a host CPU (a normal host's guest: $((NORMAL_BOOT_MS / 1000)) s without waiting); the test's waits stretched $(awk -v s="$(cat $R/speed)" 'BEGIN{printf "%.2f", s / 1000}') times"
check deb_installed dpkg -s lumaro-ctrl-update
RULE=$(ls /lib/udev/rules.d/*lumaro* /etc/udev/rules.d/*lumaro* 2>/dev/null | head -1)
check deb_udev_rule test -n "$RULE"
log "udev rule $RULE:"; sed 's/^/    /' "$RULE"
modprobe dummy_hcd num=2 && modprobe libcomposite
mountpoint -q /sys/kernel/config || mount -t configfs none /sys/kernel/config
mkdir -p $BUS
udevadm monitor --kernel --udev --subsystem-match=usb --subsystem-match=hidraw --subsystem-match=block > $R/udev-monitor.txt 2>&1 &
# The controller (TC-100) on dummy_udc.0, the board on dummy_udc.1; readable record, reachable socket.
( umask 0; exec $SIM --bus $BUS --usb --record $WIRE --controller ctl,disk-ms=1000 --board board > $R/sim-usb.out 2>&1 ) &
SIMPID=$!
check sim_usb_ready wait_for 20 grep -q ready $R/sim-usb.out
udevadm settle -t 15
check controller_enumerated wait_for 15 usb_port_of 1fc9:0003
check board_enumerated wait_for 15 usb_port_of 04d8:003c
for h in /sys/class/hidraw/hidraw*; do
  log "$h: $(grep HID_ID $h/device/uevent) $(grep HID_NAME $h/device/uevent); $(ls -l /dev/${h##*/})"
  getfacl -p /dev/${h##*/} 2>/dev/null | grep user: | sed 's/^/    /'
done
touch /run/vm/go
# The user's side runs in its session on tty1; it ends with desk-done.
await /run/vm/desk-done || result FAIL desk_side_finished "(the host stopped the guest: $(cat $R/host-stop))"
log "user side ended at uptime $(cut -d' ' -f1 /proc/uptime)s"
kill $SIMPID 2>/dev/null; wait $SIMPID 2>/dev/null
cp $WIRE $R/wire-usb.jsonl 2>/dev/null
journalctl -b --no-pager -o short-monotonic > $R/journal.txt 2>&1
dmesg > $R/dmesg.txt
log "udisks2 said:"; journalctl -b -u udisks2 --no-pager -o cat | grep -v 'acquired the name' | sed 's/^/    /'
log "failed units: $(systemctl --failed --no-legend | awk '{print $2}' | tr '\n' ' ')"
echo "GUEST DONE" >> $R/results.txt
sync
systemctl poweroff --no-block
