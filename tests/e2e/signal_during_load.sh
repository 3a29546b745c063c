#!/usr/bin/env bash
# SIGTERM while the headless monitor is still loading a large history.xml:
# the run ends as any stopped run does (status 0), and the history is
# still whole afterwards.
#   signal_during_load.sh PROGRAM WORK_DIR
set -u
program=$1 work=$2
rm -rf "$work"
mkdir -p "$work/data" "$work/config"
entries=300000
python3 - "$work/data/history.xml" "$entries" <<'PY'
import sys
path, n = sys.argv[1], int(sys.argv[2])
with open(path, "w", newline="") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\r\n<dataroot version="1.7.4.0">\r\n')
    for i in range(n):
        a = "%012X" % i
        addr = ":".join(a[k:k + 2] for k in range(0, 12, 2))
        f.write('<entry Radio="Desk" Name="Device %d" Address="%s" Producer="Acme" '
                'LastSeenTime="10:00:00 05/14/2024" LastUsedTime="" Type="Phone" '
                'Services="Audio" Image="3"/>\r\n' % (i, addr))
    f.write("</dataroot>\r\n")
PY
XDG_CONFIG_HOME="$work/config" "$program" --headless --stack sim --data-dir "$work/data" \
  >"$work/stdout.txt" 2>"$work/stderr.txt" &
pid=$!
# The stack's line comes before the history is loaded, which takes seconds.
for _ in $(seq 1 300); do
  [ -s "$work/stdout.txt" ] && break
  sleep 0.05
done
started_before=no
grep -q "Wrenlocator Started" "$work/stdout.txt" 2>/dev/null && started_before=yes
kill -s TERM "$pid"
wait "$pid"
status=$?
fail() { echo "$1 (start-up line before the signal: $started_before)"; echo "--- stdout"; head -5 "$work/stdout.txt"; echo "--- stderr"; cat "$work/stderr.txt"; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
kept=$(grep -c "<entry " "$work/data/history.xml")
[ "$kept" -ge "$entries" ] || fail "history.xml holds $kept entries of $entries"
echo "stopped with status 0, $kept entries kept (start-up line before the signal: $started_before)"
exit 0
