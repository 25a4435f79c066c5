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

# given_share GIVEN_MS SECONDS: the part of SECONDS on the clock that the host gave the guest (0..1).
given_share() {
  awk -v given="$1" -v took="$2" 'BEGIN { s = took > 0 ? given / 1000 / took : 1; printf "%.3f\n", (s > 1) ? 1 : s }'
}

# boot_speed ELAPSED_MS STARVED_MS: the guest's speed against a normal host's, per mille, from its
# boot (the ms since QEMU started, and what the host kept of them).
boot_speed() {
  local speed=$((($1 - $2) * 1000 / NORMAL_BOOT_MS))
  echo $((speed > 1000 ? speed : 1000))
}

# disk_wait_verdict SWITCH ARRIVED GAVE_UP SHARE SPEED: whether the host's slowness, not the program,
# made lumaro-update's own wait for its update disk (60 s after the bootloader switch) run out.
# SWITCH, ARRIVED (empty: never), GAVE_UP: guest uptime (s) of the switch, of the disk at udev and of
# the wait's end; SHARE: the part of the update's time the host gave the guest (0..1); SPEED: per mille.
# Prints "slow: why" when
#  - the disk reached udev too late for the wait to find it (a normal host needs up to 5 s from there:
#    udisks2, a poll, the mount), yet within the wait in a normal host's time; or
#  - it came in time, but the guest ran more than 5 times slower than a normal host's: lumaro-update
#    mounts the disk through udisksctl once, with 10 s of its own for what takes a normal host up to 2;
# "fault: why" otherwise, which is the program's or the USB stack's.
disk_wait_verdict() {
  awk -v switch="$1" -v arrived="$2" -v gave_up="$3" -v share="$4" -v speed="$5" 'BEGIN {
    wait = 60; find = 5; mount_limit = 10; mount_normal = 2; speed /= 1000
    if (share == "") share = 1              # unmeasured: no sign of a slow host
    given = share < 0.01 ? 0.01 : share     # a host that gave nothing still gave a little
    slower = speed / given                  # how many times slower than a normal host the guest ran
    if (arrived == "") { print "fault: the update disk never reached udev"; exit }
    took = arrived - switch                 # the disk after the switch, on the clock
    normal = took / slower                  # the same in a normal host'\''s seconds
    if (arrived + find * slower <= gave_up) {
      if (slower > mount_limit / mount_normal)
        printf "slow: lumaro-update'\''s own %d s limit for mounting its update disk ran out: the disk reached udev %.1f s after the bootloader switch, %.1f s before lumaro-update gave up waiting for it, but the guest ran %.1f times slower than a normal host'\''s (given %.1f%% of the time by the host), where a normal host needs up to %d s\n", mount_limit, took, gave_up - arrived, slower, share * 100, mount_normal
      else
        printf "fault: the update disk reached udev %.1f s after the bootloader switch, %.1f s before lumaro-update gave up waiting for it\n", took, gave_up - arrived
    } else if (normal >= wait - find)
      printf "fault: the update disk reached udev %.1f s after the bootloader switch; the host gave the guest %.1f%% of that time, and still it would have come after %.1f s on a normal host, too late for lumaro-update'\''s %d s\n", took, share * 100, normal, wait
    else
      printf "slow: lumaro-update'\''s own %d s wait for its update disk ran out: the disk reached udev %.1f s after the bootloader switch, %.1f s %s the wait ended, with the guest given %.1f%% of that time by the host; on a normal host it would have come after %.1f s\n", wait, took, (arrived > gave_up) ? arrived - gave_up : gave_up - arrived, (arrived > gave_up) ? "after" : "before", share * 100, normal
  }'
}
