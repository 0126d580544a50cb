#!/bin/bash
# marlow-cli pda against `marlow-cli emulate pda` over a virtual bus socket:
# a download to flash with its trace, two handsets at once, and Ctrl-C.
set -u
CLI=$1
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
fail() { echo "FAIL: $*" >&2; exit 1; }

"$CLI" sample . 2>/dev/null || fail "sample set"

# One handset, flash, trace on stdout.
"$CLI" pda --file nk.bin --target flash --bus bus1.sock --trace --wait 20 >trace.txt 2>pda.err &
PDA=$!
sleep 0.5
"$CLI" emulate pda --bus bus1.sock --flash-ms 50 --flash-zeros 2 --json >report.json 2>emu.err ||
    fail "emulator: $(cat emu.err)"
wait $PDA || fail "pda exit $? $(cat pda.err)"
[ "$(head -n 3 trace.txt)" = $'\nDevice Connected!\n OnOperationDownload()  - TEST' ] ||
    fail "trace start: $(head -n 3 trace.txt | od -c | head)"
[ "$(tail -n 1 trace.txt)" = " Downloaded to Device Successfully!" ] || fail "trace end"
grep -q "written to flash" emu.err || fail "no flash write"
grep -q "PROTOCOL VIOLATION" emu.err && fail "violation"

# Two handsets at once, JSON events; a device describing itself at length
# is refused first, on stderr and as an event.
"$CLI" pda --file quill_all.lst --target flash --bus bus2.sock --devices 2 --json --wait 20 \
    >events.json 2>pda2.err &
PDA=$!
sleep 0.5
"$CLI" emulate pda --bus bus2.sock --description "$(printf '%02000d' 0)" >/dev/null 2>&1
"$CLI" emulate pda --bus bus2.sock 2>emu2a.err &
"$CLI" emulate pda --bus bus2.sock 2>emu2b.err
wait $PDA || fail "two handsets: $(cat pda2.err)"
[ "$(grep -c '"result":"completed"' events.json)" = 2 ] || fail "two completions"
grep -q "left after PHONE_DOWN_CMD" emu2b.err || fail "phone hand-over"
REFUSED="Virtual USB device bus:1 announced a description of 2000 bytes"
grep -q "{\"event\":\"problem\",\"text\":\"$REFUSED" events.json || fail "problem event"
grep -q "$REFUSED" pda2.err || fail "problem on stderr"

# Ctrl-C during the flash write releases the handset and exits 130. The
# flash write is the answered command after the image header, one per
# record and the image end.
RECORDS=$(grep -o '"records":[0-9]*' report.json | head -1 | cut -d: -f2)
FLASH_ANSWER=$((RECORDS + 3))
"$CLI" pda --file nk.bin --target flash --bus bus3.sock --wait 20 >/dev/null 2>pda3.err &
PDA=$!
sleep 0.5
"$CLI" emulate pda --bus bus3.sock --silent-at $FLASH_ANSWER 2>emu3.err &
EMU=$!
for _ in $(seq 1 100); do grep -q "100%" pda3.err 2>/dev/null && break; sleep 0.1; done
sleep 0.3
kill -INT $PDA
wait $PDA
[ $? = 130 ] || fail "Ctrl-C exit code"
wait $EMU
grep -q "left after USB_UNLOAD_CMD" emu3.err || fail "handset not released: $(cat emu3.err)"
echo "1 passed, 0 failed"
