#!/usr/bin/env bash
# One monitor per data folder. A second monitor on a folder in use refuses
# with the folder and the owner's process, status 4, and touches nothing;
# the one-shot commands still answer. A killed owner leaves no stuck lock,
# and the next owner clears away temporary files that interrupted saves
# left behind (and nothing else).
#   data_folder_lock.sh PROGRAM WORK_DIR
set -u
program=$1 work=$2
rm -rf "$work"
mkdir -p "$work/data" "$work/config"
export XDG_CONFIG_HOME="$work/config"
fail() { echo "$1"; for f in "$work"/*.txt; do echo "--- $f"; tail -n 5 "$f"; done; exit 1; }

started() {
  for _ in $(seq 1 300); do
    grep -q "Wrenlocator Started" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

"$program" --headless --stack sim --data-dir "$work/data" >"$work/first.out.txt" 2>"$work/first.err.txt" &
first=$!
started "$work/first.out.txt" || fail "the first monitor did not start"
sleep 1
log_before=$(wc -c <"$work/data/alarmlog.txt")

"$program" --headless --stack sim --data-dir "$work/data" --run-for 1 \
  >"$work/second.out.txt" 2>"$work/second.err.txt"
status=$?
[ "$status" -eq 4 ] || fail "second monitor: exit status $status, not 4"
grep -qF "the data folder $work/data is in use by another Wrenlocator (process $first)" "$work/second.err.txt" ||
  fail "second monitor: the refusal does not name the folder and the owner"
[ "$(wc -l <"$work/second.err.txt")" -eq 1 ] || fail "second monitor: more than one line on stderr"
[ "$(wc -c <"$work/data/alarmlog.txt")" -ge "$log_before" ] || fail "the second start emptied alarmlog.txt"
head -c 200 "$work/data/alarmlog.txt" | grep -q " - Wrenlocator Started" || fail "alarmlog.txt lost its start-up line"

# Read-only commands keep working while the folder is in use.
"$program" scan --stack sim --data-dir "$work/data" >"$work/scan.out.txt" 2>"$work/scan.err.txt" ||
  fail "scan refused while a monitor runs"
[ -s "$work/scan.out.txt" ] || fail "scan printed nothing while a monitor runs"
"$program" vendor 00-0A-D9 --data-dir "$work/data" >/dev/null 2>&1 || fail "vendor refused while a monitor runs"

kill -s TERM "$first"
wait "$first"
status=$?
[ "$status" -eq 0 ] || fail "first monitor: exit status $status after SIGTERM"
grep -q "<entry " "$work/data/history.xml" || fail "first monitor: history.xml not saved"

# An owner killed outright: the folder is free again at once.
"$program" --headless --stack sim --data-dir "$work/data" >"$work/killed.out.txt" 2>"$work/killed.err.txt" &
killed=$!
started "$work/killed.out.txt" || fail "the monitor to be killed did not start"
kill -s KILL "$killed"
wait "$killed" 2>/dev/null

# What interrupted saves leave behind, and what merely looks like it.
printf 'half a save' >"$work/data/history.xml.tmp-a1B2c3"
printf 'half a save' >"$work/data/history.xml.tmp-ZZ9zz9"
printf 'keep me' >"$work/data/history.xml.tmp-notours"
printf 'keep me' >"$work/data/notes.tmp-a1B2c3"
printf 'keep me' >"$work/outside.txt"
ln -s "$work/outside.txt" "$work/data/history.xml.tmp-L1nk00"

"$program" --headless --stack sim --sim-clock stepped --run-for 2 --data-dir "$work/data" \
  >"$work/third.out.txt" 2>"$work/third.err.txt"
status=$?
[ "$status" -eq 0 ] || fail "after a killed owner: exit status $status"
[ ! -e "$work/data/history.xml.tmp-a1B2c3" ] || fail "a stale temporary file survived the next start"
[ ! -e "$work/data/history.xml.tmp-ZZ9zz9" ] || fail "a stale temporary file survived the next start"
[ -f "$work/data/history.xml.tmp-notours" ] || fail "a file that only looks like a temporary was removed"
[ -f "$work/data/notes.tmp-a1B2c3" ] || fail "another file's temporary was removed"
[ -L "$work/data/history.xml.tmp-L1nk00" ] || fail "a link among the temporaries was removed"
[ "$(cat "$work/outside.txt")" = "keep me" ] || fail "a link's target was changed"
exit 0
