# Shared by the guest's two sides of scripts/test-usb (sourced; busybox-free: the root is Debian's).
R=/results
BUS=/run/lumaro-usb/bus          # the USB simulator's control socket (its devices are gadgets)
WIRE=/run/lumaro-usb/wire.jsonl  # what it records
APP=/usr/lib/x86_64-linux-gnu/lumaro-ctrl-update  # the installed program's folder
SIM=/hostshare/tools/tessaray-sim
. /hostshare/guest-timing.sh
# A step: in the side's log, and in progress.log, which the host shows as it comes.
log() { echo "[guest $(cut -d' ' -f1 /proc/uptime)s $(id -un)] $*" | tee -a $R/progress.log; }
result() { echo "RESULT $1 $2 ${3:-}" | tee -a $R/results.txt; }
note() { echo "NOTE $*" | tee -a $R/results.txt; }
check() { local name=$1; shift; if "$@"; then result PASS "$name"; else result FAIL "$name" "($*)"; fi; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN{printf "%.2f", b - a}'; }
# The USB device name in sysfs ("3-1") of VID:PID (lower-case hex), as the host side sees it.
usb_port_of() {
  for d in /sys/bus/usb/devices/*; do
    [ "$(cat $d/idVendor 2>/dev/null):$(cat $d/idProduct 2>/dev/null)" = "$1" ] && { basename $d; return 0; }
  done; return 1; }
sim_events() { local c; c=$(grep -c "\"$1\"" $WIRE 2>/dev/null); echo ${c:-0}; }
ctl() { $SIM ctl --bus $BUS "$@"; }
