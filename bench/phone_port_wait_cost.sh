#!/usr/bin/env bash
# What the phone port wait costs while no modem comes: the CPU share and the
# wake-ups per second of `marlow-cli phone`, summed over all its threads
# from /proc/PID/task/*/schedstat (time on the CPU, times scheduled) across
# a window. Extra arguments go to the command (`--port /dev/ttyACM9`, or
# `--library PATH` for a build without the library beside marlow-cli).
#
#   bench/phone_port_wait_cost.sh build/default/src/cli/marlow-cli 10
set -euo pipefail
cli=${1:?path of marlow-cli}
seconds=${2:-10}
shift $(($# < 2 ? $# : 2))

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -INT "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$work" # the user's own settings stay out
"$cli" sample "$work/set" >/dev/null 2>&1
"$cli" phone --package "$work/set/Phone.brx" "$@" >/dev/null 2>&1 &
pid=$!
sleep 2 # past the start-up

sample() { cat /proc/"$pid"/task/*/schedstat | awk '{cpu += $1; runs += $3} END {printf "%.0f %.0f\n", cpu, runs}'; }
read -r cpu0 runs0 < <(sample)
sleep "$seconds"
read -r cpu1 runs1 < <(sample)
awk -v cpu=$((cpu1 - cpu0)) -v runs=$((runs1 - runs0)) -v s="$seconds" \
  'BEGIN { printf "cpu %.3f%%  wake-ups %.1f/s\n", cpu / 1e7 / s, runs / s }'
