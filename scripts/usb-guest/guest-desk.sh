#!/bin/bash
# The guest's user side: the desktop user "desk" (not root) in its logind session on seat0, who runs
# the installed program against the gadgets the root side plugged in.
. /hostshare/guest-lib.sh
log "user side: uid=$(id -u) session=$XDG_SESSION_ID seat=$XDG_SEAT vt=$XDG_VTNR"
await /run/vm/go || { result FAIL user_side_started "(the root side never said go; the host stopped the guest: $(cat $R/host-stop))"; exit 1; }
check session_active_on_seat0 test "$(loginctl show-session "$XDG_SESSION_ID" -p Active --value)" = yes -a "$XDG_SEAT" = seat0
node_of() { for h in /sys/class/hidraw/hidraw*; do grep -qi "HID_ID=0003:0000$1:0000$2" $h/device/uevent && { echo /dev/${h##*/}; return 0; }; done; return 1; }
CTL_NODE=$(node_of 1FC9 0003); BOARD_NODE=$(node_of 04D8 003C)
check hidraw_controller_rw_for_user test -r "$CTL_NODE" -a -w "$CTL_NODE"
check hidraw_board_rw_for_user test -r "$BOARD_NODE" -a -w "$BOARD_NODE"
CTL_PORT=$(usb_port_of 1fc9:0003)
log "controller $CTL_NODE on USB port $CTL_PORT; board $BOARD_NODE on $(usb_port_of 04d8:003c)"
cd "$HOME"
HISTORY=/var/lib/lumaro-ctrl-update/History/UpdateHistory.csv  # the PC's history, every user's
# Each line of the program's output, after the guest's uptime when it came.
stamped() { while IFS= read -r line; do echo "$(cut -d' ' -f1 /proc/uptime) $line"; done; }
result_is() { grep '"event":"result"' "$1" | grep -q "\"result\":\"$2\""; }
# Every line the program wrote is a JSON object (--json: one object a line, nothing else).
only_json() { ! cut -d' ' -f2- "$1" | grep -v '^{'; }
seconds_of() { grep '"event":"result"' "$1" | grep -o '"seconds":[0-9.]*' | cut -d: -f2; }
controller_on_its_port() { [ "$(usb_port_of 1fc9:0003)" = "$CTL_PORT" ]; }
# The update disk's FAT volume ("sda"), once the kernel has it; and whether anything has mounted it.
update_disk_volume() { lsblk -nro NAME,FSTYPE | awk '$2 == "vfat" {print $1; f = 1; exit} END {exit !f}'; }
update_disk_unmounted() { local disk; disk=$(update_disk_volume) && ! findmnt -S /dev/$disk >/dev/null; }
controller_switched() { ! usb_port_of 1fc9:0003 >/dev/null; }
firmware_updates_beyond() { [ "$(sim_events firmware-updated)" -gt "$1" ]; }
# run_update NAME ARGS...: lumaro-update --json, its lines stamped into $R/NAME.jsonl; sets RC and TOOK (s).
run_update() {
  local name=$1 t; shift
  t=$(now)
  lumaro-update "$@" --json 2>$R/$name.err | stamped >$R/$name.jsonl; RC=${PIPESTATUS[0]}
  TOOK=$(since $t)
}
# udev_time KERNEL|UDEV ACTION PATH TYPE AFTER: the guest uptime of the first such event of the udev
# monitor after uptime AFTER (PATH: a regular expression the device's path matches).
udev_time() {
  awk -v source=$1 -v action=$2 -v path="$3" -v type="($4)" -v after=$5 '
    match($0, /^[A-Z]+ *\[[0-9.]+\]/) {
      head = substr($0, 1, RLENGTH); split(substr($0, RLENGTH + 1), f, " ")
      t = head; sub(/.*\[/, "", t); sub(/\]/, "", t); sub(/ *\[.*/, "", head)
      if (head == source && f[1] == action && f[2] ~ path && f[3] == type && t + 0 > after + 0) { print t; found = 1; exit }
    }
    END { exit !found }' $R/udev-monitor.txt
}
# After a run of NAME whose own wait for the update disk ran out: was the host too slow for it? Sets
# TOO_SLOW to the evidence when it was (the checks that need the disk in time are then skipped).
TOO_SLOW=
judge_disk_wait() {
  TOO_SLOW=
  grep -q 'No update disk appeared' $R/$1.jsonl || return 0
  local started switch arrived gave_up verdict
  started=$(head -1 $R/$1.jsonl | cut -d' ' -f1)
  gave_up=$(grep '"event":"result"' $R/$1.jsonl | cut -d' ' -f1)
  switch=$(udev_time KERNEL remove "/$CTL_PORT\$" usb "$started")  # the controller leaves for its bootloader
  # A disk that comes after the wait is the evidence: it is given the time it would have had.
  wait_for 60 udev_time UDEV add '/block/sd[a-z]+$' block "${switch:-$started}" >/dev/null
  arrived=$(udev_time UDEV add '/block/sd[a-z]+$' block "${switch:-$started}")
  verdict=$(disk_wait_verdict "$switch" "$arrived" "$gave_up" "$(share_in "${switch:-$started}" "${arrived:-$gave_up}")" \
    "$(share_in "${arrived:-$gave_up}" "$gave_up")" "$(cat $R/speed)")
  log "$1: $verdict"
  case $verdict in slow:*) TOO_SLOW=${verdict#slow: }; note "the host was too slow: $TOO_SLOW" ;; esac
}
check_in_time() { # a check that needs the update disk within the program's own wait
  if [ -n "$TOO_SLOW" ]; then result SKIP "$1" "(the host was too slow for lumaro-update's own wait)"; else check "$@"; fi
}
steps_of() { awk '{t=$1; $1=""; if (match($0, /"text":"[^"]*"/)) printf "%s %s; ", t, substr($0, RSTART+8, RLENGTH-9); else if (match($0, /"event":"[a-z]*"/)) printf "%s %s; ", t, substr($0, RSTART+9, RLENGTH-10); else printf "%s (not JSON:%s); ", t, $0}' "$1"; }

# ---- a. the update end to end over real USB
run_update a --wait 60
TA=$TOOK
log "a: exit $RC after ${TA}s"; sed 's/^/    /' $R/a.jsonl
judge_disk_wait a
check_in_time a_update_exit_0 test "$RC" = 0
check_in_time a_update_done result_is $R/a.jsonl done
check a_output_is_json_lines only_json $R/a.jsonl
check a_reports_usb_port grep -q "\"port\":\"$CTL_PORT\"" $R/a.jsonl
check_in_time a_controller_took_new_firmware sh -c "grep firmware-updated $WIRE | grep -q '\"bytes\":$(stat -c %s $APP/Firmware/*_FW_*)'"
if [ -n "$TOO_SLOW" ]; then
  # The controller waits in its bootloader with the disk that came late: the next run finishes it, and
  # b begins with the controller in its application, as it does after a on a normal host. The guest
  # has no automounter: the next run mounts the stranded unit's disk itself.
  run_update a-finish --wait 60
  log "a: the next run, to finish the unit, exit $RC"; sed 's/^/    /' $R/a-finish.jsonl
  check a_next_run_finishes_the_unit result_is $R/a-finish.jsonl done
fi
check a_controller_back_on_its_port wait_for 15 controller_on_its_port

# ---- b. the cable pulled while the update waits for its disk, re-plugged, finished by the next run.
# The first run waits up to 60 s for a disk that does not come; meanwhile, with the controller back
# in its application: d (the window), c (zerlin-tool on the board), and the virtual bus's update.
rows_before=$(wc -l <$HISTORY)
n=$(sim_events disk-shown)
lumaro-update --json 2>$R/b1.err | stamped >$R/b1.jsonl &
B1=$!
check b_disk_shown wait_for 60 sh -c "[ \$(grep -c '\"disk-shown\"' $WIRE) -gt $n ]"
check b_disk_on_host_bus wait_for 15 usb_port_of 1fc9:0114
log "b: the update disk is on $(usb_port_of 1fc9:0114); pulling the cable"
check b_cable_pulled ctl unplug ctl
check b_device_gone_from_host wait_for 10 sh -c "! grep -q 1fc9 /sys/bus/usb/devices/*/idVendor"
sleep 1
check b_replugged ctl plug ctl
check b_controller_back_in_its_application wait_for 15 usb_port_of 1fc9:0003

# ---- c. zerlin-tool on the board, beside the window
( t=$(now); LD_LIBRARY_PATH=/hostshare/tools /hostshare/tools/zerlin-tool 'VID_04D8&PID_003C' /hostshare/board.hex \
    >$R/c.out 2>$R/c.err; echo $? >$R/c.rc; since $t >$R/c.time ) &
C=$!

# ---- d. the window under Xvfb finds the controller and shows its ready screen
Xvfb :5 -screen 0 1024x768x24 -nolisten tcp >$R/xvfb.out 2>&1 &
XP=$!
export DISPLAY=:5
wait_for 20 xdotool getdisplaygeometry >/dev/null
t=$(now)
(cd "$APP" && exec ./LumaroCtrlUpdate) >$R/window.out 2>&1 &
WP=$!
W=$(wait_for 40 xdotool search --name "Lumaro Tessaray Controller" | head -1)
check d_window_appears test -n "$W"
if [ -n "$W" ]; then
  log "d: window $W after $(since $t)s"
  pause 3  # its first paint
  eval "$(xdotool getwindowgeometry --shell "$W")"
  echo "X=$X Y=$Y" >$R/window.geometry
  xwd -root -silent >$R/window.xwd
  xdotool windowfocus --sync "$W" 2>/dev/null; xdotool key ctrl+shift+c
  wait_for 15 sh -c 'ls /var/lib/lumaro-ctrl-update/Record/Report-*.txt'
  REPORT=$(ls /var/lib/lumaro-ctrl-update/Record/Report-*.txt 2>/dev/null | head -1)
  [ -n "$REPORT" ] && cp "$REPORT" $R/window-report.txt
  check d_window_report_names_the_controller grep -q "VID_1FC9&PID_0003" $R/window-report.txt
fi
kill $WP 2>/dev/null; wait $WP 2>/dev/null; kill $XP 2>/dev/null; wait $XP 2>/dev/null
unset DISPLAY
wait $C
log "c: zerlin-tool exit $(cat $R/c.rc) after $(cat $R/c.time)s"; sed 's/^/    /' $R/c.out $R/c.err
check c_zerlin_tool_exit_0 test "$(cat $R/c.rc)" = 0
check c_zerlin_tool_erased_programmed_verified_reset sh -c "grep -q 'erase and program *ok' $R/c.out && grep -q 'verify *ok' $R/c.out && grep -q 'reset *ok' $R/c.out"
check c_board_erased grep -q '"device":"board","event":"erased"' $WIRE
check c_board_reset grep -q '"device":"board","event":"reset"' $WIRE

# ---- the update of a, on the virtual bus in the same guest (its controller on a port of its own)
mkdir -p /tmp/vbus
$SIM --bus /tmp/vbus --record /tmp/vbus/wire.jsonl --controller ctl,disk-ms=1000,port=9-9 >/tmp/vbus/sim.out 2>&1 &
VSIM=$!
wait_for 20 grep -q ready /tmp/vbus/sim.out
LUMARO_VBUS_DIR=/tmp/vbus run_update v --wait 20
TV=$TOOK
kill $VSIM; wait $VSIM 2>/dev/null
log "virtual bus: exit $RC after ${TV}s"; sed 's/^/    /' $R/v.jsonl
check v_virtual_bus_update_done result_is $R/v.jsonl done
note "update time: real USB (hidraw, usb-storage, udisks2) ${TA}s, virtual bus ${TV}s, ratio $(awk -v a=$TA -v b=$TV 'BEGIN{printf "%.2f", a/b}')"
note "the job's own seconds: real USB $(seconds_of $R/a.jsonl), virtual bus $(seconds_of $R/v.jsonl)"
note "real USB steps (guest uptime): $(steps_of $R/a.jsonl)"
note "virtual bus steps (guest uptime): $(steps_of $R/v.jsonl)"

# ---- b, continued: the first run ends without done; the next run finishes the unit
wait $B1
log "b: first run ended"; sed 's/^/    /' $R/b1.jsonl
check b_first_run_not_done sh -c "! grep '\"event\":\"result\"' $R/b1.jsonl | grep -q '\"result\":\"done\"'"
run_update b2 --wait 60
log "b: next run exit $RC"; sed 's/^/    /' $R/b2.jsonl
judge_disk_wait b2
check_in_time b_next_run_done result_is $R/b2.jsonl done
check b_next_run_output_is_json_lines only_json $R/b2.jsonl
check b_next_run_on_the_same_port grep -q "\"port\":\"$CTL_PORT\"" $R/b2.jsonl
check_in_time b_controller_took_new_firmware_again sh -c "[ \$(grep -c firmware-updated $WIRE) -ge 2 ]"
log "history rows of b:"; tail -n +$((rows_before + 1)) $HISTORY | sed 's/^/    /'
check b_history_first_run_failed_waiting_for_the_disk sh -c "tail -n +$((rows_before + 1)) $HISTORY | grep -q ',failed,waiting for the disk,'"
check b_history_says_it_came_back_by_itself sh -c "tail -n +$((rows_before + 1)) $HISTORY | grep -q ',interrupted,came back by itself,'"
check_in_time b_history_ends_done sh -c "tail -1 $HISTORY | grep -q ',done,'"

# ---- e. lumaro-update killed in its bootloader wait (8 s after the switch, before it looks for the
# disk): the controller waits in its bootloader with its update disk, which nothing mounts (the guest
# has no automounter). The next run mounts that disk itself and finishes the update.
check e_controller_in_its_application wait_for 15 controller_on_its_port
rows_before=$(wc -l <$HISTORY)
updated_before=$(sim_events firmware-updated)
lumaro-update --json >$R/e1.jsonl 2>$R/e1.err &
E1=$!
check e_switched_to_the_bootloader wait_for 60 controller_switched
kill -KILL $E1; wait $E1 2>/dev/null
log "e: first run killed after the bootloader switch"; sed 's/^/    /' $R/e1.jsonl
check e_disk_reached_the_kernel wait_for 30 update_disk_volume
pause 3  # time for an automounter, were there one
check e_disk_not_mounted_by_the_system update_disk_unmounted
run_update e2 --wait 60
log "e: next run exit $RC"; sed 's/^/    /' $R/e2.jsonl
check e_next_run_finishes_the_unit result_is $R/e2.jsonl done
check e_controller_took_new_firmware_again wait_for 15 firmware_updates_beyond $updated_before
log "history rows of e:"; tail -n +$((rows_before + 1)) $HISTORY | sed 's/^/    /'
check e_history_ends_done sh -c "tail -1 $HISTORY | grep -q ',done,'"
check e_controller_back_on_its_port wait_for 15 controller_on_its_port
# Begun by this user, the history must stay writable for every other user of the PC.
check history_writable_by_every_user sh -c "[ \"\$(stat -c %a $HISTORY)\" = 666 ]"
log "user side done"
