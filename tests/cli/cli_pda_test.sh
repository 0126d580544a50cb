#!/bin/bash
# marlow-cli pda against `marlow-cli emulate pda` over a virtual bus socket:
# a download to flash with its trace, four handsets at once, then a table of
# runs that must end with a given exit code, say why and leave their record.
set -u
CLI=$1
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
# Settings and the run store of the test's own.
export XDG_CONFIG_HOME=$WORK/config XDG_DATA_HOME=$WORK/data
STORE=$XDG_DATA_HOME/Korvane/Marlow/runs.sqlite
fail() { echo "FAIL: $*" >&2; exit 1; }
wait_for() { for _ in $(seq 1 200); do [ -e "$1" ] && return; sleep 0.05; done; }
# A wait for what should end at once gives up after STUCK seconds (the C++
# tests' kStuckAfter), on top of a run's own time (its --timeout): a stuck
# run is killed and named instead of holding the test until ctest's bound.
STUCK=5
finish() { # PID OWN-SECONDS WHAT: the process's exit code
    for _ in $(seq 1 $((($2 + STUCK) * 20))); do
        kill -0 "$1" 2>/dev/null || { wait "$1" 2>/dev/null; return; }
        sleep 0.05
    done
    kill -9 "$1"
    fail "$3: still running $(($2 + STUCK)) s on"
}
bounded() { timeout -k 1 $STUCK "$@"; }
# The last record of a store: "verdict/class/half: kind name outcome, ...".
last_record() {
    local id json
    id=$("$CLI" runs list --run-store "$1" --json | tail -n 1 | grep -o '"runId":"[^"]*"' | cut -d'"' -f4)
    [ -n "$id" ] || return
    json=$("$CLI" runs show --run-store "$1" "$id" --json | head -n 1)
    printf '%s/%s/%s:' "$(field verdict)" "$(field errorClass)" "$(field failedHalf)"
    grep -o '"kind":"[^"]*","name":"[^"]*","outcome":"[^"]*"' <<<"$json" |
        sed 's/"kind":"\([^"]*\)","name":"\([^"]*\)","outcome":"\([^"]*\)"/ \1 \2 \3,/' | tr -d '\n'
}
field() { grep -o "\"$1\":\"[^\"]*\"" <<<"$json" | head -n 1 | cut -d'"' -f4; }
records() { "$CLI" runs list --run-store "$1" --json 2>/dev/null | wc -l; }

"$CLI" sample . 2>/dev/null || fail "sample set"

# One handset, flash, trace on stdout.
"$CLI" pda --file nk.bin --target flash --bus bus1.sock --trace --wait 20 >trace.txt 2>pda.err &
PDA=$!
wait_for bus1.sock
bounded "$CLI" emulate pda --bus bus1.sock --serial QE7-0001 --flash-ms 50 --flash-zeros 2 \
    --json >report.json 2>emu.err ||
    fail "emulator: $(cat emu.err)"
finish $PDA 0 "one handset" || fail "pda exit $? $(cat pda.err)"
[ "$(head -n 3 trace.txt)" = $'\nDevice Connected!\n OnOperationDownload()  - TEST' ] ||
    fail "trace start: $(head -n 3 trace.txt | od -c | head)"
[ "$(tail -n 1 trace.txt)" = " Downloaded to Device Successfully!" ] || fail "trace end"
grep -q "written to flash" emu.err || fail "no flash write"
grep -q "PROTOCOL VIOLATION" emu.err && fail "violation"

[ "$(last_record "$STORE")" = "passed//: pda-image nk.bin passed," ] ||
    fail "one handset's record: $(last_record "$STORE")"
[ "$("$CLI" runs list --run-store "$STORE" --serial QE7-0001 --json | wc -l)" = 1 ] ||
    fail "the handset's serial number in its record: $("$CLI" runs list --run-store "$STORE")"

# Four handsets at once, JSON events, each its own record with its own
# slot; a device describing itself at length is refused first, on stderr
# and as an event.
"$CLI" pda --file quill_all.lst --target flash --bus bus2.sock --devices 4 --json --wait 20 \
    --run-store four.sqlite >events.json 2>pda2.err &
PDA=$!
wait_for bus2.sock
bounded "$CLI" emulate pda --bus bus2.sock --description "$(printf '%02000d' 0)" >/dev/null 2>&1
for n in 1 2 3; do bounded "$CLI" emulate pda --bus bus2.sock 2>emu2-$n.err & done
bounded "$CLI" emulate pda --bus bus2.sock 2>emu2b.err
finish $PDA 0 "four handsets" || fail "four handsets: $(cat pda2.err)"
[ "$(grep -c '"verdict":"passed"' events.json)" = 4 ] || fail "four passes"
grep -q "left after PHONE_DOWN_CMD" emu2b.err || fail "phone hand-over"
[ "$("$CLI" runs list --run-store four.sqlite --verdict passed --json |
    grep -o '"slot":"bus:[0-9]*"' | sort -u | wc -l)" = 4 ] ||
    fail "four records, four slots: $("$CLI" runs list --run-store four.sqlite)"
REFUSED="Virtual USB device bus:1 announced a description of 2000 bytes"
grep -q "{\"event\":\"problem\",\"text\":\"$REFUSED" events.json || fail "problem event"
grep -q "$REFUSED" pda2.err || fail "problem on stderr"

# The flash write is the answered command after the image header, one per
# record and the image end: a handset silent there hangs in WRITE_FLSH_CMD.
RECORDS=$(grep -o '"records":[0-9]*' report.json | head -1 | cut -d: -f2)
FLASH=$((RECORDS + 3))
: >empty.lst
printf -- '-psi.flb\n' >phone-first.lst
head -c 100 nk.bin >short.bin
: >a-file

# name|exit|stderr has|stdout has|emulator's stderr has|emulators|emulator args|signal@when|pda args|record
# (BUS in the pda args is the case's socket; "x2" starts two emulators; the
# signal is sent once stderr shows `when`; the record is the one the case
# leaves as last_record shows it, "-" for none: a run killed outright is
# found interrupted by the next start, `runs` here.)
CASES=(
"removal is no stop|1|the handset was removed during|\"verdict\":\"device-removed\"||1|--disconnect-after 20000||--file nk.bin --json|device-removed/removal/pda: pda-image nk.bin failed,"
"silent handset times out|4|no progress for 1 s in ENDOFTRANSFER_STATE|||1|--silent-at $FLASH||--file nk.bin --target flash --timeout 1|failed/time-out/pda: pda-image nk.bin failed,"
"Ctrl-C releases|130|stopped||left after USB_UNLOAD_CMD|1|--silent-at $FLASH|INT@100%|--file nk.bin --target flash|stopped/operator-stop/pda: pda-image nk.bin stopped,"
"SIGTERM releases|143|stopped||left after USB_UNLOAD_CMD|1|--silent-at $FLASH|TERM@100%|--file nk.bin --target flash|stopped/operator-stop/pda: pda-image nk.bin stopped,"
"SIGHUP releases|129|stopped||left after USB_UNLOAD_CMD|1|--silent-at $FLASH|HUP@100%|--file nk.bin --target flash|stopped/operator-stop/pda: pda-image nk.bin stopped,"
"empty list|3|the list names no image|||0|||--file empty.lst|-"
"list not starting with an image|3|the list names no image|||0|||--file phone-first.lst --no-check|-"
"short image refused up front|3|short.bin: |||0|||--file short.bin|-"
"short image with --no-check|1|failed: |\"event\":\"image-started\"|left after USB_UNLOAD_CMD|1|||--file short.bin --no-check --json|failed/input/pda: pda-image short.bin failed,"
"empty bus|2|--bus is given an empty value|||0|||--file nk.bin --bus ''|-"
"further handset named|0|and was not served|\"event\":\"not-served\"||x2|--flash-ms 1500||--file nk.bin --target flash --json|passed//: pda-image nk.bin passed,"
"serving until stopped|0|served 1 handset(s), 1 passed|||1||TERM@passed|--file nk.bin --devices 0|passed//: pda-image nk.bin passed,"
"a store that cannot record|5|This run is not recorded: the run store a-file/runs.sqlite|\"event\":\"problem\"||1|||--file nk.bin --json --run-store a-file/runs.sqlite|-"
"killed, found interrupted next|137||||1|--silent-at $FLASH|KILL@100%|--file nk.bin --target flash|interrupted/internal/: pda-image nk.bin running,"
)
N=0
for row in "${CASES[@]}"; do
    IFS='|' read -r NAME EXIT ERR OUT EMUERR EMUS EMUARGS SIGNAL ARGS RECORD <<<"$row"
    N=$((N + 1))
    BEFORE=$(records "$STORE")
    SOCK=case$N.sock
    [[ $ARGS == *--bus* ]] || ARGS="$ARGS --bus BUS"
    eval "ARGV=(${ARGS//BUS/$SOCK})"
    "$CLI" pda --wait 20 "${ARGV[@]}" >case.out 2>case.err &
    PDA=$!
    EMUPIDS=()
    if [ "$EMUS" != 0 ]; then
        wait_for $SOCK
        for _ in $(seq 1 "${EMUS#x}"); do
            # shellcheck disable=SC2086
            "$CLI" emulate pda --bus $SOCK $EMUARGS 2>>case.emu &
            EMUPIDS+=($!)
        done
    fi
    if [ -n "$SIGNAL" ]; then
        for _ in $(seq 1 200); do grep -q -- "${SIGNAL#*@}" case.err && break; sleep 0.05; done
        sleep 0.3
        kill -"${SIGNAL%@*}" $PDA
    fi
    OWN=0
    [[ $ARGS =~ --timeout\ ([0-9]+) ]] && OWN=${BASH_REMATCH[1]}
    [ "$EMUS" != x2 ] || OWN=2 # the second handset's flash write
    finish $PDA $OWN "$NAME"
    GOT=$?
    # A released handset leaves by itself; one left waiting is sent away.
    for pid in "${EMUPIDS[@]}"; do
        [ -n "$EMUERR" ] || kill $pid 2>/dev/null
        finish $pid 0 "$NAME: the emulator" 2>/dev/null
    done
    [ "$GOT" = "$EXIT" ] || fail "$NAME: exit $GOT, not $EXIT: $(cat case.err)"
    grep -qF -- "$ERR" case.err || fail "$NAME: stderr lacks '$ERR': $(cat case.err)"
    [ -z "$OUT" ] || grep -qF -- "$OUT" case.out || fail "$NAME: stdout lacks '$OUT'"
    [ -z "$EMUERR" ] || grep -qF -- "$EMUERR" case.emu || fail "$NAME: emulator: $(cat case.emu)"
    if [ "$RECORD" = - ]; then
        [ "$(records "$STORE")" = "$BEFORE" ] || fail "$NAME: recorded $(last_record "$STORE")"
    else
        [ "$(records "$STORE")" = $((BEFORE + 1)) ] && [ "$(last_record "$STORE")" = "$RECORD" ] ||
            fail "$NAME: record '$(last_record "$STORE")', not '$RECORD'"
    fi
    rm -f case.emu
done
# A device that describes itself, then half-closes, never opens: its open
# obeys --timeout, and a stop ends it at once.
for WANT in "4|no progress for 1 s in the start|1" "130|stopped before the device opened|0"; do
    IFS='|' read -r CODE WHY TIMEOUT <<<"$WANT"
    for attempt in 1 2 3 4 5; do
        "$CLI" pda --file nk.bin --bus half$CODE.sock --timeout $TIMEOUT --verbose >/dev/null 2>half.err &
        PDA=$!
        wait_for half$CODE.sock
        printf '\013\0\0\0half closer' | socat -t 60 -u STDIN UNIX-CONNECT:half$CODE.sock &
        SOCAT=$!
        if [ "$TIMEOUT" = 0 ]; then
            for _ in $(seq 1 200); do
                grep -q "hung up before the open" half.err && break
                sleep 0.05
            done
            kill -INT $PDA 2>/dev/null
        fi
        finish $PDA "$TIMEOUT" "half-closed device"
        GOT=$?
        kill $SOCAT 2>/dev/null
        [ $GOT = "$CODE" ] && grep -qF "$WHY" half.err && break
        # The open can also win the race with the hang-up: the download then
        # ends at once, the handset removed, which shows no wait. Again.
        grep -q "was removed during" half.err && [ $attempt -lt 5 ] && continue
        fail "half-closed device: exit $GOT, not $CODE: $(cat half.err)"
        break
    done
done

# A reader that has gone (`pda --json | head -1`) stops the run as a signal
# does: the handset is released, the exit code is 128 + SIGPIPE.
mkfifo out.fifo
exec 3<>out.fifo
"$CLI" pda --file nk.bin --bus closed.sock --json >out.fifo 3<&- 2>closed.err &
PDA=$!
wait_for closed.sock
exec 3<&-
bounded "$CLI" emulate pda --bus closed.sock --silent-at 1 2>closed.emu
finish $PDA 0 "closed output"
GOT=$?
[ $GOT = 141 ] || fail "closed output: exit $GOT, not 141: $(cat closed.err)"
grep -q "left after USB_UNLOAD_CMD" closed.emu || fail "closed output: $(cat closed.emu)"
echo "1 passed, 0 failed"
