#!/usr/bin/env bash
# A second SIGTERM (or SIGINT) during the exit save of a 100,000-entry
# history does not cut it short: the run exits 0 with the new history
# whole, and no temporary file is left.
#   save_signal.sh PROGRAM WORK_DIR
set -u
program=$1 work=$2
rm -rf "$work"
mkdir -p "$work/config"
export XDG_CONFIG_HOME="$work/config"
fail() { echo "$1"; for f in "$work"/*.txt; do echo "--- $f"; tail -n 5 "$f"; done; exit 1; }
python3 "$(dirname "$0")/make_history.py" 100000 "$work/seed.xml"

# Milliseconds between the signal that ends the run and the second one.
for run in TERM:0 TERM:10 TERM:20 TERM:30 INT:15; do
  sig=${run%:*} delay=${run#*:}
  {
    data="$work/data-$sig-$delay"
    mkdir -p "$data"
    cp "$work/seed.xml" "$data/history.xml"
    "$program" --headless --stack sim --data-dir "$data" >"$work/run.out.txt" 2>"$work/run.err.txt" &
    pid=$!
    # Event lines follow the start-up line once the history is loaded.
    for _ in $(seq 1 1200); do
      [ "$(wc -l <"$work/run.out.txt")" -ge 4 ] && break
      sleep 0.1
    done
    sleep 1
    kill -s "$sig" "$pid"
    sleep "0.0$(printf '%02d' "$delay")"
    kill -s "$sig" "$pid" 2>/dev/null
    wait "$pid"
    status=$?
    [ "$status" -eq 0 ] || fail "second SIG$sig $delay ms into the save: exit status $status"
    tail -c 20 "$data/history.xml" | grep -q "</dataroot>" || fail "SIG$sig $delay ms: history.xml not whole"
    grep -q 'created="07/20/2009 10:00:00"' "$data/history.xml" &&
      fail "SIG$sig $delay ms: history.xml is still the old file"
    [ "$(grep -c "<entry " "$data/history.xml")" -ge 100000 ] || fail "SIG$sig $delay ms: entries lost"
    ls "$data" | grep -q "history.xml.tmp-" && fail "SIG$sig $delay ms: a temporary file was left"
    rm -rf "$data"
  }
done
exit 0
