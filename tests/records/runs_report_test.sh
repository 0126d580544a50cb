#!/usr/bin/env bash
# marlow-cli runs report on a shift that record_child recorded, as headless
# Chromium shows it: the slots, their yields, the slow slot, a failure's
# reason (escaped), nothing fetched from elsewhere; a page that says there
# is nothing to report, and a place that cannot be written. Exits 77
# (skipped) without Chromium.
set -u
cli=$1 child=$2
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT
store=$dir/runs.sqlite page=$dir/report.html
fail() { echo "FAIL: $*" >&2; exit 1; }
"$child" "$store" shift 80 >/dev/null || fail "record_child"

out=$("$cli" runs report --run-store "$store" --html "$dir/no/such/folder/r.html" 2>&1)
[ $? = 3 ] && [[ $out == *"cannot write the report to $dir/no/such/folder/r.html: "* ]] ||
  fail "an unwritable page: $out"
"$cli" runs report --run-store "$store" --slot nowhere --html "$page" >/dev/null ||
  fail "an empty report"
grep -q "there is nothing to report" "$page" || fail "the empty report says nothing"
[ "$("$cli" runs report --run-store "$store" --html "$page")" = "the report of 87 runs is in $page" ] ||
  fail "the report"
# Nothing the page would fetch: no script, link, frame, picture or font.
if grep -Eio '(src|href|action)="[^#][^"]*"|url\(|@import|<(script|link|iframe|img|object)' "$page"; then
  fail "the page refers to something outside it"
fi

if ! command -v chromium >/dev/null; then
  echo "SKIP: chromium is not installed (scripts/install-deps installs it); the page was not looked at"
  exit 77
fi
chrome() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$dir/chromium" "$@" "file://$page" 2>/dev/null
}
dom=$(chrome --dump-dom) || fail "chromium --dump-dom"
expect() { [[ $dom == *"$1"* ]] || fail "the page does not show '$1'"; }
for slot in 1 2 3 4 5 6 7 8; do expect "<th scope=\"row\">slot $slot</th>"; done
row() { echo "<th scope=\"row\">slot $1</th><td class=\"n\">$2</td><td class=\"n\">$3</td><td class=\"n\">$4</td>"; }
expect "$(row 3 10 6 60.0%)"
expect "$(row 5 10 9 90.0%)"
expect "$(row 8 10 10 100.0%)"
expect '<span class="v">90.0%</span>'
expect '<span class="v">8.8%</span>'
expect '<th scope="row">slot 6 <b>(slow)</b></th>'
expect 'did not open: "Device or resource busy" &lt;EBUSY&gt; &amp; no retry'
[[ $dom != *"<ebusy"* ]] || fail "a reason became markup"
chrome --window-size=1100,2400 --screenshot="$dir/report.png" >/dev/null || fail "chromium --screenshot"
[ "$(stat -c %s "$dir/report.png")" -gt 40000 ] || fail "the screenshot is (nearly) blank"
echo "runs report: all passed"
