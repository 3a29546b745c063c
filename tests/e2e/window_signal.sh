#!/usr/bin/env bash
# The real window under a virtual display, monitoring, then ended by a
# signal as a desktop logout or a terminal would end it: it closes as File >
# Exit does, with status 0 and history.xml saved, and a second signal
# during the save does not cut it short.
#   window_signal.sh PROGRAM SCENARIO WORKDIR TERM|INT|HUP
set -uo pipefail
program="$1" scenario="$2" work="$3" sig="$4"

. "$(dirname "$0")/virtual_display.sh"

fail() {
  echo "FAIL: $*"
  echo "--- program output:"; cat "$work/out.txt" 2>/dev/null || true
  exit 1
}

: >"$work/settings.ini"
"$program" --stack "sim:$scenario" --data-dir "$work" --settings "$work/settings.ini" \
  >"$work/out.txt" 2>&1 &
app_pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Wrenlocator' | head -n1) ||
  fail "no window appeared"
[ -n "$window" ] || fail "no window appeared"
xdotool windowfocus --sync "$window"

# Monitoring > Run..., then Enter on the search-parameters dialog.
xdotool key --clearmodifiers alt+m
sleep 0.3
xdotool key Return
timeout 15 xdotool search --sync --onlyvisible --name '^Devices Search Parameters Dialog$' \
  >/dev/null || fail "the search-parameters dialog did not come up"
xdotool key Return
sleep 4

kill -s "$sig" "$app_pid"
sleep 0.05
kill -s "$sig" "$app_pid" 2>/dev/null
for _ in $(seq 150); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the window did not close after SIG$sig"
wait "$app_pid"
status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "exit status $status after SIG$sig"
entries=$(grep -c "<entry " "$work/history.xml" || true)
[ "$entries" -gt 0 ] || fail "history.xml holds no device after SIG$sig"
echo "closed by SIG$sig with status 0, $entries entries saved"
exit 0
