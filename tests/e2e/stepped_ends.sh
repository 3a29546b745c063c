#!/usr/bin/env bash
# Stepped runs of any length end: a long run of the demo, a scenario with
# many radios (many searches per scan) and a timeline that repeats every
# millisecond. Each must end on its own, and SIGTERM must end one at once.
#   stepped_ends.sh PROGRAM WORK_DIR
set -u
program=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
fail() { echo "$1"; for f in "$work"/*.txt; do echo "--- $f"; tail -n 5 "$f"; done; exit 1; }

# Runs the monitor with a limit of its own; 124 from timeout means it hung.
run() {
  local name=$1 limit=$2
  shift 2
  mkdir -p "$work/$name"
  timeout -s KILL "$limit" "$program" --headless --sim-clock stepped --data-dir "$work/$name" "$@" \
    >"$work/$name.out.txt" 2>"$work/$name.err.txt"
}

run demo700 60 --stack sim --run-for 700
status=$?
[ "$status" -eq 0 ] || fail "700 s of the demo: exit status $status"
grep -q "<entry " "$work/demo700/history.xml" || fail "700 s of the demo: history.xml not saved"

# 2,000 radios: one scan searches each of them.
{
  echo '<scenario name="radios" start="2009-07-21 14:03:50">'
  for i in $(seq 0 1999); do
    printf '  <radio id="r%d" address="00:02:5B:%02X:%02X:00" name="R%d"/>\n' "$i" $((i / 256)) $((i % 256)) "$i"
  done
  echo '  <device address="00:1A:2B:3C:4D:5E" name="Phone" remembered="yes"/>'
  echo '</scenario>'
} >"$work/radios.xml"
run radios 120 --stack "sim:$work/radios.xml" --run-for 30
status=$?
[ "$status" -eq 0 ] || fail "2,000 radios: exit status $status"

# An event every millisecond.
cat >"$work/busy.xml" <<'XML'
<scenario name="busy" start="2009-07-21 14:03:50">
  <radio id="desk" address="00:02:5B:10:20:30" name="Desk"/>
  <device address="00:1A:2B:3C:4D:5E" name="Phone" remembered="yes"/>
  <timeline repeat="0.001">
    <hci-connect at="0" device="00:1A:2B:3C:4D:5E"/>
  </timeline>
</scenario>
XML
run busy 120 --stack "sim:$work/busy.xml" --run-for 25
status=$?
[ "$status" -eq 0 ] || fail "an event every millisecond: exit status $status"
[ "$(wc -l <"$work/busy.out.txt")" -gt 20002 ] || fail "an event every millisecond: too few lines"

# A run of a year is stopped by SIGTERM within seconds, with its save.
mkdir -p "$work/long"
"$program" --headless --stack sim --sim-clock stepped --run-for 31000000 --data-dir "$work/long" \
  >"$work/long.out.txt" 2>"$work/long.err.txt" &
pid=$!
for _ in $(seq 1 200); do
  grep -q "Wrenlocator Started" "$work/long.out.txt" 2>/dev/null && break
  sleep 0.1
done
sleep 1
kill -s TERM "$pid"
for _ in $(seq 1 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill -s KILL "$pid"
  fail "a stepped run ignored SIGTERM for 5 s"
fi
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "a stepped run stopped by SIGTERM: exit status $status"
grep -q "<entry " "$work/long/history.xml" || fail "a stepped run stopped by SIGTERM: history.xml not saved"
exit 0
