# session-bus.sh: the start-up benchmarks run the program and its baseline
# as a desktop does, with a D-Bus session bus of their own; or, with
# --no-bus, with none at all, where libdbus first searches for one to launch.
#
#   source bench/lib/session-bus.sh
#   bench_bus_start "$work" bus   # or none; exports or unsets DBUS_SESSION_BUS_ADDRESS
#   bench_bus_stop                # from the caller's EXIT trap
#   bench_bus_describe            # "a private session bus" / "no session bus"

_bench_bus_pid=
_bench_bus_mode=

bench_bus_start() {
  local dir=$1
  _bench_bus_mode=$2
  unset DBUS_SESSION_BUS_ADDRESS
  [ "$_bench_bus_mode" = bus ] || return 0
  command -v dbus-daemon >/dev/null || { echo "session-bus: dbus-daemon is missing" >&2; return 1; }
  mkfifo "$dir/bus-address"
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$dir/bus" \
    --print-address=3 3>"$dir/bus-address" </dev/null >/dev/null 2>&1 &
  _bench_bus_pid=$!
  local address
  read -r -t 15 address <"$dir/bus-address" || true
  if [ -z "$address" ]; then
    echo "session-bus: dbus-daemon did not start" >&2
    return 1
  fi
  export DBUS_SESSION_BUS_ADDRESS=$address
}

bench_bus_stop() {
  if [ -n "$_bench_bus_pid" ]; then
    kill "$_bench_bus_pid" 2>/dev/null || true
    wait "$_bench_bus_pid" 2>/dev/null || true
    _bench_bus_pid=
  fi
}

bench_bus_describe() {
  if [ "$_bench_bus_mode" = bus ]; then echo "a private session bus"; else echo "no session bus"; fi
}
