#!/usr/bin/env bash
# marlow-cli runs on a store that record_child filled: what each command
# prints, and how it ends on a bad argument, a missing or a damaged store;
# a stamp's record, and a command whose run cannot be recorded.
set -u
cli=$1 child=$2
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT
export XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data
store=$dir/runs.sqlite
fail() { echo "FAIL: $*" >&2; exit 1; }
expect() { # CODE TEXT command...: the exit code, and TEXT in stdout+stderr
  local code=$1 text=$2 out; shift 2
  out=$("$@" 2>&1); local got=$?
  [ $got = "$code" ] || fail "$* ended $got, not $code: $out"
  [[ $out == *"$text"* ]] || fail "$* did not say '$text': $out"
}
expect 3 "there is no run store at $store" "$cli" runs list --run-store "$store"
"$child" "$store" runs 3 >/dev/null || fail "record_child"
expect 2 "--run-store is given an empty value" "$cli" runs list --run-store ''
expect 2 "--verdict is running, passed" "$cli" runs list --run-store "$store" --verdict ok
[ "$("$cli" runs list --run-store "$store" --json --verdict passed | wc -l)" = 3 ] || fail "list"
id=$("$cli" runs export --run-store "$store" --csv | sed -n 2p | cut -c1-8)
expect 0 "pda-image  NK.bin" "$cli" runs show --run-store "$store" "$id" --events
expect 0 '"percent-reached"' "$cli" runs show --run-store "$store" "$id" --events --json
expect 0 '"total":true,"units":3' "$cli" runs yield --run-store "$store" --by digest --json
expect 0 "the store is sound" "$cli" runs check --run-store "$store"
# Stamp INSERT: its record holds the file's digest before and after.
printf 'image' >"$dir/nk.bin"
before=$(sha256sum "$dir/nk.bin" | cut -c1-64)
expect 0 "stamped" "$cli" stamp insert "$dir/nk.bin" --model Q1 --version V2 --run-store "$store"
after=$(sha256sum "$dir/nk.bin" | cut -c1-64)
expect 0 "sha256 $before -> $after" "$cli" runs show --run-store "$store" \
  "$("$cli" runs export --run-store "$store" --csv | grep ',stamp,' | cut -d, -f1)"
# A store that cannot record: the stamp is made, the exit code says it is
# not recorded; with records required nothing starts.
: >"$dir/a-file"
expect 5 "This run is not recorded: the run store $dir/a-file/runs.sqlite" \
  "$cli" stamp insert "$dir/nk.bin" --model Q1 --version V3 --run-store "$dir/a-file/runs.sqlite"
expect 0 "version V3" "$cli" stamp verify "$dir/nk.bin"
mkdir -p "$dir/config/Korvane" && printf '[General]\nRunRecords=required\n' >"$dir/config/Korvane/Marlow.conf"
expect 3 "No run starts: the setting RunRecords is required" \
  "$cli" stamp insert "$dir/nk.bin" --model Q1 --version V4 --run-store "$dir/a-file/runs.sqlite"
expect 0 "version V3" "$cli" stamp verify "$dir/nk.bin"
printf 'not a database%.0s' {1..500} >"$store"
expect 3 "is damaged" "$cli" runs check --run-store "$store"
echo "runs CLI: all passed"
