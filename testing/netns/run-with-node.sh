#!/bin/bash
# Runs a Windows program (under $ZMK_WINE_RUN) or, after --unix, any command,
# against the simulated Art-Net node in a network namespace of its own: the
# node at 198.18.0.2 (and 198.18.0.3 as a second source), the other end of
# the veth pair at 198.18.0.1 in the namespace of the Wine session's server
# ($ZMK_WINE_SESSION; Wine makes its sockets there), or in the root namespace
# for a session without one. The command gets ZMK_NODE_ADDRESS and
# ZMK_NODE_CONTROL_PORT. ZMK_NODE_SCENARIO, when set, is the node's scenario
# from the start (see standins/artnet-node). ZMK_SECOND_NODE_SCENARIO, when
# set, starts a second node at 198.18.0.4 with that scenario (control port
# 6998); both then also answer polls sent to the broadcast address
# 198.18.0.255. ZMK_MANY_NODES=N (1 to 200), when set, adds N more nodes at
# 198.18.0.10 onwards, played by one more stand-in (control port 6997 of
# 198.18.0.10, scenario ZMK_MANY_NODES_SCENARIO, e.g. "acceptable=last"),
# each answering a broadcast poll with its own reply; the command then also
# gets ZMK_MANY_NODES_FIRST and ZMK_MANY_NODES_CONTROL_PORT.
# ZMK_ADAPTER_NAME, when set, names the session's end of the veth pair (at
# most 15 bytes, no spaces, "/" or ":"): Wine gives Windows programs the
# Linux interface name as the adapter's FriendlyName, so ZMK_ADAPTER_NAME=réseau
# plays a French Windows' "Connexion au réseau local" (the UTF-8 bytes arrive
# as UTF-16 "r\u00e9seau").
#   run-with-node.sh NODE_EXE WINDOWS_EXE [ARGS...]
#   run-with-node.sh --unix NODE_EXE COMMAND [ARGS...]
# The namespace, the veth pair and the node are removed on every exit.
# Used by the tests, the benchmarks and the demo.
set -euo pipefail
trap "exit 1" INT TERM HUP
if [ "${1:-}" = "--unix" ]; then
  launcher=()
  shift
else
  launcher=("${ZMK_WINE_RUN:?ZMK_WINE_RUN names the Wine launcher of the session}")
fi
node_exe=${1:?node executable}
shift

ns=zmk-detect-$$
veth=zd$$
node_end=${veth}n
node_pid=
second_pid=
many_pid=
in_session=()
cleanup() {
  if [ -n "$node_pid" ]; then kill "$node_pid" 2>/dev/null || true; wait "$node_pid" 2>/dev/null || true; fi
  if [ -n "$second_pid" ]; then kill "$second_pid" 2>/dev/null || true; wait "$second_pid" 2>/dev/null || true; fi
  if [ -n "$many_pid" ]; then kill "$many_pid" 2>/dev/null || true; wait "$many_pid" 2>/dev/null || true; fi
  "${in_session[@]}" ip link del "$veth" 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
}
trap cleanup EXIT

# A run that was killed outright (a ctest time-out) could not clean up, and
# its veth would still own 198.18.0.1: remove namespaces whose runner is gone.
for stale in $(ip netns list 2>/dev/null | grep -o '^zmk-detect-[0-9]*' || true); do
  pid=${stale#zmk-detect-}
  if ! kill -0 "$pid" 2>/dev/null; then
    ip netns pids "$stale" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip link del "zd$pid" 2>/dev/null || true
    ip netns del "$stale" 2>/dev/null || true
  fi
done

session_ns=$(cat "${ZMK_WINE_SESSION:-/nonexistent}/netns" 2>/dev/null || true)
[ -n "$session_ns" ] && in_session=(ip netns exec "$session_ns")

ip netns add "$ns"
ip link add "$veth" type veth peer name "$node_end"
ip link set "$node_end" netns "$ns"
[ -n "$session_ns" ] && ip link set "$veth" netns "$session_ns"
if [ -n "${ZMK_ADAPTER_NAME:-}" ]; then
  "${in_session[@]}" ip link set "$veth" name "$ZMK_ADAPTER_NAME"
  veth=$ZMK_ADAPTER_NAME
fi
"${in_session[@]}" ip addr add 198.18.0.1/24 dev "$veth"
"${in_session[@]}" ip link set "$veth" up
ip -n "$ns" addr add 198.18.0.2/24 dev "$node_end"
ip -n "$ns" addr add 198.18.0.3/24 dev "$node_end"
ip -n "$ns" addr add 198.18.0.4/24 dev "$node_end"
many=${ZMK_MANY_NODES:-0}
if ! [[ "$many" =~ ^[0-9]+$ ]] || [ "$many" -gt 200 ]; then
  echo "ZMK_MANY_NODES is a count from 1 to 200, not \"$many\"" >&2
  exit 2
fi
for ((i = 0; i < many; i++)); do ip -n "$ns" addr add "198.18.0.$((10 + i))/24" dev "$node_end"; done
ip -n "$ns" link set "$node_end" up
ip -n "$ns" link set lo up

broadcast=()
[ -n "${ZMK_SECOND_NODE_SCENARIO+set}" ] && broadcast=(--broadcast 198.18.0.255)
wait_ready() {
  for _ in $(seq 50); do
    grep -q ready "$1" && break
    sleep 0.1
  done
  grep -q ready "$1" || { echo "the node did not start" >&2; cat "$1" >&2; exit 1; }
  rm -f "$1"
}
log=$(mktemp)
ip netns exec "$ns" "$node_exe" --address 198.18.0.2 --second 198.18.0.3 "${broadcast[@]}" --control-port 6999 \
  --lifetime 900 --scenario "${ZMK_NODE_SCENARIO:-}" >"$log" 2>&1 &
node_pid=$!
wait_ready "$log"
if [ -n "${ZMK_SECOND_NODE_SCENARIO+set}" ]; then
  log=$(mktemp)
  ip netns exec "$ns" "$node_exe" --address 198.18.0.4 "${broadcast[@]}" --control-port 6998 --lifetime 900 \
    --scenario "$ZMK_SECOND_NODE_SCENARIO" >"$log" 2>&1 &
  second_pid=$!
  wait_ready "$log"
fi
if [ "$many" -gt 0 ]; then
  log=$(mktemp)
  ip netns exec "$ns" "$node_exe" --nodes "$many" --first 198.18.0.10 --broadcast 198.18.0.255 --control-port 6997 \
    --lifetime 900 --scenario "${ZMK_MANY_NODES_SCENARIO:-}" >"$log" 2>&1 &
  many_pid=$!
  wait_ready "$log"
  export ZMK_MANY_NODES_FIRST=198.18.0.10 ZMK_MANY_NODES_CONTROL_PORT=6997
fi

# RESOURCE_LOCK artnet-port orders the tests of one session; a session
# without a namespace shares the port with other build trees' runs, which may
# still hold it for a while, so wait for it.
for _ in $(seq 120); do
  "${in_session[@]}" ss -Huln 'sport = :6454' | grep -q . || break
  sleep 0.5
done

export ZMK_NODE_ADDRESS=198.18.0.2 ZMK_NODE_CONTROL_PORT=6999
status=0
"${launcher[@]}" "$@" || status=$?
if [ "$status" -ne 0 ] && "${in_session[@]}" ss -Huln 'sport = :6454' | grep -q .; then
  echo "note: another process held UDP 6454 in the session's namespace during the run:" >&2
  "${in_session[@]}" ss -Hulnp 'sport = :6454' >&2 || true
fi
exit "$status"
