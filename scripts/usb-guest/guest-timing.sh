# Time in scripts/test-usb's guest on a busy host (sourced by guest-lib.sh; R is the results folder).
# QEMU waits for a host CPU while the guest's clock runs on, so that a wait of the test's own would run
# out only because the host was busy. The host adds that time up in $R/host-starved (ms, a running
# total, scripts/usb-guest-watch); the waits here count the rest, the time the host gave the guest,
# and that in a normal host's seconds: $R/speed is how much slower than a normal host's guest this one
# booted (per mille, at least 1000).

# How long a normal host's guest takes from the kernel's start to the root side's, in the time the
# host gave it (QEMU's software CPU).
NORMAL_BOOT_MS=30000

# GIVEN: ms of the time the host gave the guest, on a clock of its own (only differences count).
given_now() {
  local starved=0 t=${EPOCHREALTIME/./}
  read -r starved 2>/dev/null <"$R/host-starved" || true
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

# boot_speed UPTIME_MS STARVED_MS: the guest's speed against a normal host's, per mille, from its boot.
boot_speed() {
  local speed=$((($1 - $2) * 1000 / NORMAL_BOOT_MS))
  echo $((speed > 1000 ? speed : 1000))
}
