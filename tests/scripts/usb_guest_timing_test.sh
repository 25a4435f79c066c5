#!/usr/bin/env bash
# scripts/test-usb's time in the guest (scripts/usb-guest/guest-timing.sh): whether a busy host or
# the program made lumaro-update's own wait for its update disk run out, how far a slow boot
# stretches the waits, and that a wait counts only the time the host gave the guest.
# usage: usb_guest_timing_test.sh <guest-timing.sh> <work folder>
set -euo pipefail
R=$2
rm -rf "$R" && mkdir -p "$R"
. "$1"
failures=0
expect() { # expect NAME WANTED GOT
  if [ "$2" != "$3" ]; then echo "FAILED $1: wanted \"$2\", got \"$3\""; failures=$((failures + 1)); fi
}

# The verdict on a disk wait that ran out: switch, disk at udev, wait's end (uptime, s), the part of
# the time the host gave the guest until the disk came and after it ("": not measured), the boot's
# speed (per mille).
while read -r name wanted switch arrived gave_up to_disk after speed; do
  [ "$arrived" = - ] && arrived=
  [ "$to_disk" = '""' ] && to_disk=
  [ "$after" = '""' ] && after=
  got=$(disk_wait_verdict "$switch" "$arrived" "$gave_up" "$to_disk" "$after" "$speed")
  expect "$name" "$wanted" "${got%%:*}"
done <<'TT'
disk_there_early_normal_host          fault 50.2  54.9  118.9 1.00 1.00 1000
disk_there_early_slow_host            fault 50.2  54.9  160.0 0.40 0.40 1000
disk_never_came_slow_host             fault 50.2  -     160.0 0.10 0.10 1000
disk_late_on_a_normal_host            fault 50.2  125.0 118.9 0.95 1.00 1000
disk_after_the_wait_starved_host      slow  50.2  125.0 118.9 0.30 1.00 1000
disk_just_before_the_end_starved_host slow  50.2  116.0 118.9 0.30 0.30 1000
disk_10s_before_the_end_starved_host  slow  50.2  108.9 118.9 0.30 0.30 1000
disk_10s_before_the_end_normal_host   fault 50.2  108.9 118.9 1.00 1.00 1000
disk_10s_before_the_end_host_freed    fault 50.2  108.9 118.9 0.30 1.00 1000
disk_late_on_a_slow_booting_host      slow  50.2  125.0 118.9 0.95 1.00 2500
disk_at_the_end_no_time_given         slow  50.2  118.0 118.9 0.00 0.00 1000
disk_late_share_not_measured          fault 50.2  125.0 118.9 ""   ""   1000
disk_early_guest_4_times_slower_after fault 50.2  54.9  118.9 1.00 0.25 1000
disk_early_guest_6_times_slower_after slow  50.2  54.9  118.9 1.00 0.25 1500
disk_early_guest_slow_only_before     fault 50.2  54.9  118.9 0.10 1.00 1000
disk_early_guest_10_times_slower      slow  50.2  54.9  160.0 0.10 0.10 1000
TT
expect verdict_names_the_evidence \
  "slow: lumaro-update's own 60 s wait for its update disk ran out: the disk reached udev 74.8 s after the bootloader switch, 6.1 s after the wait ended, with the guest given 30.0% of that time by the host; on a normal host it would have come after 22.4 s" \
  "$(disk_wait_verdict 50.2 125.0 118.9 0.30 1.00 1000)"

# The part of a span of uptime the host gave the guest, from the host's record: its clock 10 s ahead
# of the uptime; of the uptime 10..20 it kept half, of 20..30 nothing.
expect share_unrecorded 1.000 "$(share_in 10 20)"
read -r up _ </proc/uptime
awk -v up="$up" 'BEGIN { printf "5000 %d\n", (up + 10) * 1000 }' >"$R/host-starved"
printf '20000 0\n30000 5000\n40000 5000\n' >"$R/host-starved.log"
# The record's clock is set from the uptime a moment before share_in reads it again: a loaded
# machine moves the spans by that moment, so a share is right within 0.02 (0.4 s of it).
expect_share() { # expect_share NAME WANTED FROM TO
  local got
  got=$(share_in "$3" "$4")
  awk -v w="$2" -v g="$got" 'BEGIN { exit !(g - w <= 0.02 && w - g <= 0.02) }' || expect "$1" "$2" "$got"
}
expect_share share_half_kept 0.50 10 20
expect_share share_none_kept 1.00 20 30
expect_share share_across_both 0.75 15 25
expect_share share_before_the_record 1.00 2 8
rm "$R/host-starved" "$R/host-starved.log"

# A boot quicker than a normal host's does not shorten the waits; one slower stretches them.
expect boot_of_a_fast_host 1000 "$(boot_speed 4000 0)"
expect boot_starved_by_the_host 1000 "$(boot_speed $((NORMAL_BOOT_MS * 3)) $((NORMAL_BOOT_MS * 2)))"
expect boot_of_a_slow_host 2000 "$(boot_speed $((NORMAL_BOOT_MS * 2 + 5000)) 5000)"

# The host keeps half of the time from the guest (a host-starved that grows at half the clock's
# pace): a 1 s wait lasts 2 s, one whose command succeeds ends at once, and only the host's stop
# ends an await.
( t0=${EPOCHREALTIME/./}
  while :; do t=${EPOCHREALTIME/./}; echo $(((t - t0) / 2000)) >"$R/host-starved.new"; mv -f "$R/host-starved.new" "$R/host-starved"; sleep 0.05; done ) &
starving=$!
sleep 0.2
t=${EPOCHREALTIME/./}; wait_for 1 false || true; took_ms=$(((${EPOCHREALTIME/./} - t) / 1000))
kill $starving
[ "$took_ms" -ge 1800 ] || expect wait_counts_only_the_given_time "at least 1800 ms" "$took_ms ms"
t=${EPOCHREALTIME/./}; wait_for 30 true; took_ms=$(((${EPOCHREALTIME/./} - t) / 1000))
[ "$took_ms" -lt 1000 ] || expect wait_ends_when_its_command_succeeds "under 1000 ms" "$took_ms ms"
echo 2000 >"$R/speed"
t=${EPOCHREALTIME/./}; wait_for 1 false || true; took_ms=$(((${EPOCHREALTIME/./} - t) / 1000))
[ "$took_ms" -ge 1900 ] || expect wait_stretched_by_a_slow_boot "at least 1900 ms" "$took_ms ms"
echo "no progress" >"$R/host-stop"
expect await_ends_when_the_host_stops 1 "$(await "$R/never" && echo 0 || echo 1)"

[ "$failures" = 0 ] && echo "all passed"
exit $((failures > 0))
