#!/usr/bin/env bash
# What `marlow-cli uart` costs while it waits for a boot ROM that never
# speaks: CPU share and wake-ups a second, summed over all of its threads,
# from /proc/PID/task/*/schedstat (CPU ns, wait ns, times run).
#   bench/uart_wait_cost.sh build/default/src/cli/marlow-cli [seconds]
set -euo pipefail
cli=$(realpath "${1:?path to marlow-cli}")
seconds=${2:-10}
dir=$(mktemp -d)
emulator=
tool=
cleanup() {
  kill $tool $emulator 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

"$cli" emulate uart --link "$dir/link" --silent-boot-rom >/dev/null 2>&1 &
emulator=$!
until [ -L "$dir/link" ]; do sleep 0.05; done
"$cli" uart --port "$dir/link" --separate-write >/dev/null 2>&1 &
tool=$!
sleep 1 # past start-up: only the wait is measured

totals() { # CPU ns and times run of every thread of process $1
  cat /proc/"$1"/task/*/schedstat | awk '{ cpu += $1; runs += $3 } END { print cpu, runs }'
}
report() { # name pid
  local cpu0 runs0 cpu1 runs1
  read -r cpu0 runs0 < <(totals "$2")
  sleep "$seconds"
  read -r cpu1 runs1 < <(totals "$2")
  awk -v n="$1" -v c=$((cpu1 - cpu0)) -v r=$((runs1 - runs0)) -v s="$seconds" \
    'BEGIN { printf "%-22s CPU %.4f%%  wake-ups %.1f/s\n", n, c / 1e7 / s, r / s }'
}
report "marlow-cli uart" "$tool" &
toolReport=$!
report "marlow-cli emulate uart" "$emulator" &
wait "$toolReport" $!
