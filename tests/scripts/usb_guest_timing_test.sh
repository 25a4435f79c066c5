#!/usr/bin/env bash
# scripts/test-usb's time in the guest (scripts/usb-guest/guest-timing.sh): how far a slow boot
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
