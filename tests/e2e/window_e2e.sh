#!/usr/bin/env bash
# The real window under a virtual display, driven by the keyboard: it
# appears, Run is confirmed with Enter, rows appear, Exit closes it; then
# history.xml, alarmlog.txt and the rows it showed are checked.
#   window_e2e.sh PROGRAM SCENARIO WORKDIR
set -euo pipefail
program="$1" scenario="$2" work="$3"

. "$(dirname "$0")/virtual_display.sh"

fail() {
  echo "FAIL: $*"
  echo "--- program output:"; cat "$work/out.txt" 2>/dev/null || true
  exit 1
}

# A fresh settings file: the stored defaults, as on a first start.
: >"$work/settings.ini"
WRENLOCATOR_LIST_REPORT="$work/rows.txt" "$program" --stack "sim:$scenario" \
  --data-dir "$work" --settings "$work/settings.ini" >"$work/out.txt" 2>&1 &
app_pid=$!

# 1. The window appears.
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Wrenlocator' | head -n1) ||
  fail "no window appeared"
[ -n "$window" ] || fail "no window appeared"
xdotool windowfocus --sync "$window"
grep -q "Wrenlocator Started" "$work/alarmlog.txt" || fail "alarm log not started"

# 2. Monitoring > Run..., then Enter on the search-parameters dialog.
xdotool key --clearmodifiers alt+m
sleep 0.3
xdotool key Return
dialog=$(timeout 15 xdotool search --sync --onlyvisible --name '^Devices Search Parameters Dialog$' | head -n1) ||
  fail "the search-parameters dialog did not come up"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool key Return
for _ in $(seq 100); do
  xdotool search --onlyvisible --name '^Devices Search Parameters Dialog$' >/dev/null 2>&1 || break
  sleep 0.1
done

# 3. Rows appear: the scenario's events reach the log while the scans fill the list.
sleep 4

# 4. File > Exit.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key x
for _ in $(seq 150); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "the window did not close"; fi
wait "$app_pid" || fail "exit status $?"
app_pid=""

# 5. The files.
[ -s "$work/rows.txt" ] || fail "no rows report"
rows=$(tr '\r' '\n' <"$work/rows.txt" | grep -c ':' || true)
addresses=$(sed -n 's/.*address="\([0-9A-F:]*\)".*/\1/p' "$scenario")
for address in $addresses; do
  tr '\r' '\n' <"$work/rows.txt" | grep -q "$address" || fail "row of $address not shown"
  grep -q "$address" "$work/history.xml" || fail "$address not in history.xml"
done
head -n1 "$work/history.xml" | grep -q '<?xml' || fail "history.xml is no XML file"
grep -q '<dataroot' "$work/history.xml" || fail "history.xml has no dataroot"
head -n1 "$work/alarmlog.txt" | grep -q ' - Wrenlocator Started' || fail "alarm log does not start with the start-up line"
[ "$(grep -c 'Wrenlocator Started' "$work/alarmlog.txt")" -eq 1 ] || fail "alarm log not emptied at start"
# The scenario's events play from the start; those after the window
# registered for them follow the start-up line.
[ "$(grep -c ' - ' "$work/alarmlog.txt")" -ge 3 ] || fail "the scenario's device events are not in the alarm log"
echo "window end to end: $rows rows shown, files as expected"
