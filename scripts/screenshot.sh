#!/usr/bin/env bash
# Renders the window during a run of the demo scenario on a virtual display
# and saves it as docs/screenshot.png: the window opens, Run is confirmed
# with Enter, and the picture is taken once the list has filled.
#   scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshot.png}"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target wrenlocator
program="$PWD/build/default/src/program/wrenlocator"

work=$(mktemp -d)
xvfb_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 5> "$work/display"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# The demo scenario, the user's settings kept out of it (a fresh file:
# the stored defaults).
: >"$work/settings.ini"
"$program" --stack sim --data-dir "$work" --settings "$work/settings.ini" >"$work/out.txt" 2>&1 &
app_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Wrenlocator' | head -n1) || true
if [ -z "$window" ]; then
  echo "the window did not appear:" >&2
  cat "$work/out.txt" >&2
  exit 1
fi
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+m
sleep 0.3
xdotool key Return
timeout 15 xdotool search --sync --onlyvisible --name '^Devices Search Parameters Dialog$' >/dev/null
xdotool key Return
sleep 6
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "Saved $out"
