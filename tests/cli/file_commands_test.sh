#!/bin/bash
# marlow-cli info, image and stamp on awkward inputs (pipes, devices, empty
# lists, control bytes and non-UTF-8 bytes in names, Windows lists), and
# a --bus name that is no UTF-8, and every command on arguments it cannot take: each run ends at once with its
# message and exit code, and no control byte but a line end or a tab
# reaches the terminal.
set -u
CLI=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
export XDG_CONFIG_HOME=$WORK/config XDG_DATA_HOME=$WORK/data
mkdir -p config/Korvane
printf '[General]\nPdaUsbIds=045e:00ce,\033[2J\n' >config/Korvane/Marlow.conf
mkfifo pipe.bin && mkdir sub
printf 'B000FF\n\0\0\0\0\0\0\0\0\0\0\0\0\0\020\0\0\0\0\0\0' >sub/nk.bin # header, end record
printf 'SUB\\NK.BIN\r\n' >windows.lst
: >empty.lst
printf '\0\0good.bin\n' >nul.lst
printf '0123456789\001\033\r\nabcdef' >raw.nb0
printf 'xxxxxxxxxxQUILL\0\0\0\0\0\0\0\0\0\0001.0\0\0' >$'\xff.nb0'
: >$'b\xff.sock' # where a bus socket is asked for, so none can go there

failed=0
# expect EXIT STDOUT-PART STDERR-PART ARGUMENTS...
expect() {
    local code=$1 out=$2 err=$3
    shift 3
    "$CLI" "$@" >out.txt 2>err.txt
    local got=$?
    if [ $got != "$code" ] || [[ "$(tr -d '\0' <out.txt)" != *"$out"* ]] ||
        [[ "$(cat err.txt)" != *"$err"* ]] || grep -qaP '[\x00-\x08\x0b-\x1f\x7f]' out.txt err.txt; then
        echo "FAIL: $* -> exit $got" >&2
        cat out.txt err.txt >&2
        failed=1
    fi
}
expect 3 '' 'pipe.bin: is not a regular file (a named pipe)' info pipe.bin
expect 3 '' 'is not a regular file (a character device)' image /dev/zero
expect 3 '' 'empty.lst names no image' image empty.lst
expect 3 '\0\0good.bin: the name holds a NUL byte' '' image nul.lst
expect 0 "($WORK/sub/nk.bin)" 'SUB\NK.BIN: not found as written, using sub/nk.bin' image "$WORK/windows.lst"
expect 0 'model   0123456789\x01\x1B\r\na' '' stamp verify raw.nb0
expect 0 'model   QUILL' '' stamp verify $'\xff.nb0'
expect 1 '' 'is not a regular file (a named pipe)' stamp insert pipe.bin --model A --version 1
cp $'\xff.nb0' $'\x7f.nb0'
expect 0 '"file":"\u007f.nb0"' '' stamp verify --json $'\x7f.nb0'
expect 3 '' 'cannot open a\x1B[2J\x07b.bin' pda --file $'a\e[2J\ab.bin' --bus x.sock
expect 2 '' 'bad setting PdaUsbIds: item 2 "\x1B[2J" is not a USB id' usb
expect 2 '' 'Usage: marlow-cli stamp insert' stamp
expect 3 '' 'cannot store in missing/dir: No such file or directory' \
    emulate handset --modem-link m --store missing/dir
for command in pda total phone usb "emulate pda" "emulate handset" "emulate uart" uart; do
    # shellcheck disable=SC2086
    expect 2 '' "unexpected argument 'extra'" $command extra
done
expect 1 '' 'exists and is not a socket' pda --file sub/nk.bin --bus $'b\xff.sock' --wait 1
[ $failed = 0 ] && echo "22 passed"
exit $failed
