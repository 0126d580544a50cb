#!/usr/bin/env bash
# marlow-cli runs on a store that record_child filled: what each command
# prints, and how it ends on a bad argument, a missing or a damaged store.
set -u
cli=$1 child=$2
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT
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
printf 'not a database%.0s' {1..500} >"$store"
expect 3 "is damaged" "$cli" runs check --run-store "$store"
echo "runs CLI: all passed"
