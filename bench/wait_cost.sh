#!/usr/bin/env bash
# What one of Marlow's waits costs: the CPU share and the wake-ups a second
# of each process that waits, summed over all of its threads from
# /proc/PID/task/*/schedstat (time on the CPU, times scheduled), across a
# window that starts once the scenario has settled into its wait. Each
# thread counts what it did inside the window: one born there counts from
# zero, one that ends there up to its last sample (taken every second).
#
#   bench/wait_cost.sh BUILD_DIR SCENARIO [SECONDS]   (default 10 s)
#   bench/wait_cost.sh BUILD_DIR list                 the scenarios
#
# Goal for every wait: under 0.5% of a CPU and under 20 wake-ups a second.
# Everything runs in a scratch folder with a settings store of its own (the
# user's settings are not touched); the windows use Qt's offscreen platform.
# MARLOW_WAIT_SHOW=N prints the last N lines of each process's output at the
# end, to see that the scenario reached its wait.
set -euo pipefail
build=$(cd "${1:?build folder, e.g. build/default}" && pwd)
scenario=${2:?scenario name, or list}
seconds=${3:-10}

cli=$build/src/cli/marlow-cli
marlow=$build/src/gui/marlow
scene=$build/bench/gui_wait_scene
library=$build/stubs/ifwd/libIFWD_DownloadDll.so

scenarios() {
  cat <<'LIST'
uart              marlow-cli uart waiting for a boot ROM that never speaks (and emulate uart)
phone-port        marlow-cli phone waiting for a modem port that never comes
phone-port-given  the same with --port naming a port that never comes
pda-handset       marlow-cli pda waiting for a handset
pda-flash         marlow-cli pda waiting through a long flash write (and emulate pda)
total-handset     marlow-cli total waiting for the handset
total-flash       marlow-cli total waiting through a long flash write
total-modem       marlow-cli total waiting for the modem port after the hand-over
emulate-pda       marlow-cli emulate pda on the bus, its host silent
emulate-handset   marlow-cli emulate handset, its modem port waiting for the library
emulate-uart      marlow-cli emulate uart with no tool on its port
gui-idle          the main window, no device, listening on the virtual bus
gui-debug-port    the main window with its debug port open on an idle pseudo-terminal
gui-flash         the main window's flash write wait box
gui-phone-port    the main window waiting for a modem port that never comes
uart-dialog-idle  the UART loader dialog open, not connected
uart-dialog-wait  the UART loader dialog connected, waiting for a boot ROM that never speaks
station-idle      the station window serving 8 slots, no handset plugged in
station-run       the station window with 8 slots mid-run (emulate station --pace, handsets
                  without end); its UI thread apart: the window's own updates
LIST
}
if [ "$scenario" = list ]; then
  scenarios
  exit 0
fi
scenarios | grep -q "^$scenario " || {
  echo "unknown scenario $scenario; $0 BUILD_DIR list names them" >&2
  exit 2
}

work=$(mktemp -d /tmp/marlow-wait.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -INT "$pid" 2>/dev/null || true; done
  sleep 0.3
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ -n "${MARLOW_WAIT_SHOW:-}" ]; then
    for log in "$work"/*.log; do
      echo "--- $(basename "$log")"
      tail -n "$MARLOW_WAIT_SHOW" "$log"
    done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
export MARLOW_DOWNLOAD_LIBRARY=$library
bus=$work/bus.sock
set=$work/set
"$cli" sample "$set" >/dev/null 2>&1

# start NAME COMMAND...: runs it in the background, its output in the work
# folder; the pid lands in the variable NAME.
start() {
  local name=$1
  shift
  "$@" >"$work/$name.log" 2>&1 &
  pids+=($!)
  printf -v "$name" %s $!
}
appears() { # PATH: waits up to 10 s for it
  for _ in $(seq 200); do
    [ -e "$1" ] && return 0
    sleep 0.05
  done
  echo "$1 did not appear" >&2
  exit 1
}
settings() { # the main window's settings store, then KEY=VALUE lines
  mkdir -p "$XDG_CONFIG_HOME/Korvane"
  {
    echo "[General]"
    printf '%s\n' "USB%20Downloader=1" "RegDownTo=R" "Path=$set/quill_all.lst" \
      "PhonePath=$set/Phone.brx" "Port=" "Baud=115200" "$@"
  } >"$XDG_CONFIG_HOME/Korvane/Marlow.conf"
}

sample() { # PID TICK: "TICK TID CPU-ns TIMES-RUN" for each thread of the process
  local stat tid cpu runs
  for stat in /proc/"$1"/task/*/schedstat; do
    tid=${stat%/schedstat}
    read -r cpu _ runs 2>/dev/null <"$stat" && echo "$2 ${tid##*/} $cpu $runs"
  done
}
report() { # LABEL PID[:TID] (TID: that thread alone)
  local pid=${2%%:*} only= samples=$work/samples.${2/:/.} tick
  [[ $2 == *:* ]] && only=${2#*:}
  sample "$pid" 0 | awk -v t="$only" 't == "" || $2 == t' >"$samples"
  for ((tick = 1; tick <= seconds; tick++)); do
    sleep 1
    kill -0 "$pid" 2>/dev/null || {
      echo "$1 ended during the window; see $work" >&2
      exit 1
    }
    sample "$pid" "$tick" | awk -v t="$only" 't == "" || $2 == t' >>"$samples"
  done
  # Per thread: its last sample less its first, which is zero for a thread
  # that was not there when the window opened.
  awk -v n="$1" -v s="$seconds" '
    !($2 in cpu0) { cpu0[$2] = $1 == 0 ? $3 : 0; runs0[$2] = $1 == 0 ? $4 : 0 }
    { cpu[$2] = $3; runs[$2] = $4 }
    END {
      for (t in cpu) { c += cpu[t] - cpu0[t]; r += runs[t] - runs0[t] }
      printf "%-34s CPU %.4f%%  wake-ups %.1f/s\n", n, c / 1e7 / s, r / s
    }' "$samples"
}
measure() { # LABEL PID[:TID] [LABEL PID[:TID]]...: all at once, over the same window
  local jobs=()
  while [ $# -gt 0 ]; do
    report "$1" "$2" &
    jobs+=($!)
    shift 2
  done
  wait "${jobs[@]}"
}

case $scenario in
uart)
  start emulator "$cli" emulate uart --link "$work/link" --silent-boot-rom
  appears "$work/link"
  start tool "$cli" uart --port "$work/link" --separate-write
  sleep 1
  measure "marlow-cli uart" "$tool" "marlow-cli emulate uart" "$emulator"
  ;;
phone-port | phone-port-given)
  extra=()
  [ "$scenario" = phone-port-given ] && extra=(--port /dev/ttyACM9)
  start tool "$cli" phone --package "$set/Phone.brx" "${extra[@]}"
  sleep 2
  measure "marlow-cli phone" "$tool"
  ;;
pda-handset)
  start tool "$cli" pda --file "$set/nk.bin" --bus "$bus" --wait 600 --timeout 0
  appears "$bus"
  sleep 1
  measure "marlow-cli pda" "$tool"
  ;;
pda-flash)
  start tool "$cli" pda --file "$set/nk.bin" --bus "$bus" --target flash --wait 600 --timeout 0
  appears "$bus"
  start emulator "$cli" emulate pda --bus "$bus" --flash-ms 600000
  sleep 2
  measure "marlow-cli pda" "$tool" "marlow-cli emulate pda" "$emulator"
  ;;
total-handset | total-flash | total-modem)
  start tool "$cli" total --list "$set/quill_all.lst" --bus "$bus" --wait 600 --timeout 0 \
    --port "$work/no-modem"
  appears "$bus"
  case $scenario in
  total-flash) start emulator "$cli" emulate pda --bus "$bus" --flash-ms 600000 ;;
  total-modem) start emulator "$cli" emulate pda --bus "$bus" ;;
  esac
  sleep 3
  measure "marlow-cli total" "$tool"
  ;;
emulate-pda)
  # A host that takes the connection and says nothing.
  start host socat -u "UNIX-LISTEN:$bus" OPEN:/dev/null
  appears "$bus"
  start emulator "$cli" emulate pda --bus "$bus"
  sleep 1
  measure "marlow-cli emulate pda" "$emulator"
  ;;
emulate-handset)
  start emulator "$cli" emulate handset --modem-link "$work/modem"
  appears "$work/modem"
  sleep 1
  measure "marlow-cli emulate handset" "$emulator"
  ;;
emulate-uart)
  start emulator "$cli" emulate uart --link "$work/link"
  appears "$work/link"
  sleep 1
  measure "marlow-cli emulate uart" "$emulator"
  ;;
gui-idle)
  settings
  MARLOW_VIRTUAL_BUS=$bus start gui "$marlow"
  appears "$bus"
  sleep 2
  measure "marlow" "$gui"
  ;;
gui-debug-port)
  start console "$cli" emulate uart --link "$work/console"
  appears "$work/console"
  settings "Port=$work/console"
  MARLOW_VIRTUAL_BUS=$bus start gui "$marlow"
  appears "$bus"
  sleep 2
  measure "marlow" "$gui"
  ;;
gui-flash)
  settings "RegDownTo=F" "Path=$set/nk.bin"
  MARLOW_VIRTUAL_BUS=$bus start gui "$marlow"
  appears "$bus"
  start emulator "$cli" emulate pda --bus "$bus" --flash-ms 600000
  sleep 3
  measure "marlow" "$gui"
  ;;
gui-phone-port)
  settings
  MARLOW_MODEM_PORT=$work/no-modem start gui "$scene" phone-port
  sleep 3
  measure "marlow (main window)" "$gui"
  ;;
uart-dialog-idle)
  settings
  start gui "$scene" uart-idle "$set/loader.mfl"
  sleep 3
  measure "marlow (UART loader dialog)" "$gui"
  ;;
uart-dialog-wait)
  start emulator "$cli" emulate uart --link "$work/link" --silent-boot-rom
  appears "$work/link"
  settings
  start gui "$scene" uart-connected "$set/loader.mfl" "$work/link"
  sleep 3
  measure "marlow (UART loader dialog)" "$gui"
  ;;
station-idle | station-run)
  settings "RunStore=$work/runs.sqlite"
  {
    for slot in 1 2 3 4 5 6 7 8; do
      printf '[slot %s]\nport = 1-1.%s\nmode = total\npda = %s\n\n' "$slot" "$slot" "$set/quill_all.lst"
    done
  } >"$work/station.conf"
  mkdir -p "$work/root"
  MARLOW_VIRTUAL_BUS=$bus MARLOW_SYSFS_ROOT=$work/root start gui "$scene" station "$work/station.conf"
  appears "$bus"
  if [ "$scenario" = station-run ]; then
    start emulator "$cli" emulate station --slots 8 --bus "$bus" --root "$work/root" \
      --handsets 1000000 --pace
    sleep 5
    measure "marlow (station window)" "$gui" "marlow's UI thread (the window)" "$gui:$gui"
  else
    sleep 2
    measure "marlow (station window)" "$gui"
  fi
  ;;
esac
