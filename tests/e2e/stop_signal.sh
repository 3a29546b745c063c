#!/usr/bin/env bash
# Starts the headless monitor on the demo in real time, waits for its
# start-up line, stops it with the given signal and checks that it ended
# cleanly with history.xml saved.
#   stop_signal.sh PROGRAM WORK_DIR TERM|INT
set -u
program=$1 work=$2 sig=$3
rm -rf "$work"
mkdir -p "$work/data" "$work/config"
XDG_CONFIG_HOME="$work/config" "$program" --headless --stack sim --data-dir "$work/data" \
  >"$work/stdout.txt" 2>"$work/stderr.txt" &
pid=$!
for _ in $(seq 1 200); do
  grep -q "Wrenlocator Started" "$work/stdout.txt" 2>/dev/null && break
  sleep 0.1
done
sleep 1
kill -s "$sig" "$pid"
wait "$pid"
status=$?
fail() { echo "$1"; echo "--- stdout"; cat "$work/stdout.txt"; echo "--- stderr"; cat "$work/stderr.txt"; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status after SIG$sig"
head -n 1 "$work/stdout.txt" | grep -q "^Simulated Bluetooth stack: demo scenario" || fail "the first line does not say it is a simulation"
grep -q "<dataroot" "$work/data/history.xml" || fail "history.xml not saved"
grep -q "<entry " "$work/data/history.xml" || fail "history.xml holds no device"
head -c 200 "$work/data/alarmlog.txt" | grep -q " - Wrenlocator Started" || fail "alarmlog.txt does not start with the start-up line"
[ ! -s "$work/stderr.txt" ] || fail "unexpected messages on stderr"
exit 0
