# Time in scripts/test-usb's guest on a busy host (sourced by guest-lib.sh; R is the results folder).
# QEMU waits for a host CPU while the guest's clock runs on, so that a wait of the test's own would run
# out only because the host was busy. The host adds that time up in $R/host-starved (ms, a running
# total, then the ms since QEMU started; scripts/usb-guest-watch); the waits here count the rest, the
# time the host gave the guest, and that in a normal host's seconds: $R/speed is how much slower than
# a normal host's guest this one booted (per mille, at least 1000).

# How long a normal host's guest takes from QEMU's start to the root side's, in the time the host
# gave it: 22.8 s with QEMU's software CPU on a 2-core Xeon; with four busy loops beside it, 29 s of
# the time it was given (the CPU's caches shared, the I/O waiting for the disk): that stretches.
NORMAL_BOOT_MS=23000

# GIVEN: ms of the time the host gave the guest, on a clock of its own (only differences count).
given_now() {
  local starved=0 t=${EPOCHREALTIME/./}
  read -r starved _ 2>/dev/null <"$R/host-starved" || true
  GIVEN=$((t / 1000 - ${starved:-0}))
}

wait_for() { # wait_for SECONDS cmd...: until cmd succeeds, tried every 0.2 s, for SECONDS of a normal host
  local speed=1000 end
  read -r speed 2>/dev/null <"$R/speed" || true
  given_now; end=$((GIVEN + $1 * ${speed:-1000})); shift
  until "$@" 2>/dev/null; do
    given_now; [ "$GIVEN" -ge "$end" ] && return 1
    sleep 0.2
  done
}

pause() { wait_for "$1" false || true; }

# await FILE: until FILE is there, however long the other side takes; only the host, which sees the
# whole guest's progress, ends this wait ($R/host-stop).
await() {
  until [ -e "$1" ]; do [ -e "$R/host-stop" ] && return 1; sleep 0.5; done
}

# share_in FROM TO: the part of the guest's uptime FROM..TO (s) that the host gave it (0..1), from
# $R/host-starved.log (ms since QEMU's start, ms kept from the guest so far; a line a second). The
# host's clock runs ahead of the uptime by the time before the kernel, which the two tell now.
share_in() {
  local starved elapsed up
  [ -s "$R/host-starved.log" ] && read -r starved elapsed 2>/dev/null <"$R/host-starved" || { echo 1.000; return; }
  read -r up _ </proc/uptime
  awk -v from="$1" -v to="$2" -v before="$(awk -v e="$elapsed" -v u="$up" 'BEGIN { print e / 1000 - u }')" '
    BEGIN { n = 0 }
    { t[n] = $1 / 1000 - before; s[n] = $2 / 1000; n++ }
    function starved_at(u,  i) {
      if (u <= t[0]) return s[0]
      for (i = 1; i < n; i++)
        if (t[i] >= u) return t[i] > t[i - 1] ? s[i - 1] + (s[i] - s[i - 1]) * (u - t[i - 1]) / (t[i] - t[i - 1]) : s[i]
      return s[n - 1]
    }
    END {
      share = to > from ? 1 - (starved_at(to) - starved_at(from)) / (to - from) : 1
      if (share < 0) share = 0
      if (share > 1) share = 1
      printf "%.3f\n", share
    }' "$R/host-starved.log"
}

# boot_speed ELAPSED_MS STARVED_MS: the guest's speed against a normal host's, per mille, from its
# boot (the ms since QEMU started, and what the host kept of them).
boot_speed() {
  local speed=$((($1 - $2) * 1000 / NORMAL_BOOT_MS))
  echo $((speed > 1000 ? speed : 1000))
}

# disk_wait_verdict SWITCH ARRIVED GAVE_UP SHARE_TO_DISK SHARE_AFTER SPEED: whether the host's
# slowness, not the program, made lumaro-update's own wait for its update disk (60 s after the
# bootloader switch) run out. SWITCH, ARRIVED (empty: never), GAVE_UP: guest uptime (s) of the
# switch, of the disk at udev and of the wait's end; SHARE_TO_DISK, SHARE_AFTER: the part of the time
# from the switch to the disk, and from the disk to the wait's end, that the host gave the guest
# (0..1; empty: not measured, all); SPEED: the boot's, per mille. Prints "slow: why" when
#  - the disk reached udev too late for the wait to find it (a normal host needs up to 5 s from there:
#    udisks2, a poll, the mount), yet within the wait in a normal host's time; or
#  - it came in time, but the guest then ran more than 5 times slower than a normal host's:
#    lumaro-update mounts the disk through udisksctl (each try given 5 s, tried again every few
#    seconds) in what takes a normal host up to 2 s, and gives the mount about 10 s in all;
# "fault: why" otherwise, which is the program's or the USB stack's.
disk_wait_verdict() {
  awk -v switch="$1" -v arrived="$2" -v gave_up="$3" -v to_disk="$4" -v after="$5" -v speed="$6" '
    function slower(share) {                # how many times slower than a normal host the guest ran
      if (share == "") share = 1
      return speed / (share < 0.01 ? 0.01 : share)
    }
    function percent(share) { return (share == "" ? 1 : share) * 100 }
    BEGIN {
      wait = 60; find = 5; mount_limit = 10; mount_normal = 2; speed /= 1000
      if (arrived == "") { print "fault: the update disk never reached udev"; exit }
      took = arrived - switch               # the disk after the switch, on the clock
      normal = took / slower(to_disk)       # the same in a normal host'\''s seconds
      if (arrived > gave_up || arrived + find * slower(after) > gave_up) {
        if (normal >= wait - find)
          printf "fault: the update disk reached udev %.1f s after the bootloader switch; the host gave the guest %.1f%% of that time, and still it would have come after %.1f s on a normal host, too late for lumaro-update'\''s %d s\n", took, percent(to_disk), normal, wait
        else
          printf "slow: lumaro-update'\''s own %d s wait for its update disk ran out: the disk reached udev %.1f s after the bootloader switch, %.1f s %s the wait ended, with the guest given %.1f%% of that time by the host; on a normal host it would have come after %.1f s\n", wait, took, (arrived > gave_up) ? arrived - gave_up : gave_up - arrived, (arrived > gave_up) ? "after" : "before", percent(to_disk), normal
      } else if (slower(after) > mount_limit / mount_normal)
        printf "slow: lumaro-update'\''s tries to mount its update disk took more than %d s: the disk reached udev %.1f s after the bootloader switch and %.1f s before lumaro-update gave up waiting for it, but meanwhile the guest ran %.1f times slower than a normal host'\''s (given %.1f%% of the time by the host), where a normal host needs up to %d s\n", mount_limit, took, gave_up - arrived, slower(after), percent(after), mount_normal
      else
        printf "fault: the update disk reached udev %.1f s after the bootloader switch, %.1f s before lumaro-update gave up waiting for it\n", took, gave_up - arrived
    }'
}
