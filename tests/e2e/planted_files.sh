#!/usr/bin/env bash
# Data files are used only as regular files. A symbolic link or a FIFO
# named alarmlog.txt or history.xml is reported, never followed, never
# waited on, never replaced; the link's target stays as it was.
#   planted_files.sh PROGRAM WORK_DIR
set -u
program=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
fail() { echo "$1"; for f in "$work"/*.txt; do echo "--- $f"; tail -n 5 "$f"; done; exit 1; }

# A stepped run of 3 s in a fresh folder prepared by the caller; a run that
# blocks is killed after 60 s (status 137).
run() {
  local name=$1
  timeout -s KILL 60 "$program" --headless --stack sim --sim-clock stepped --run-for 3 \
    --data-dir "$work/$name" >"$work/$name.out.txt" 2>"$work/$name.err.txt"
}

printf 'precious\n' >"$work/target.txt"
cp "$work/target.txt" "$work/target.orig"

# alarmlog.txt as a link: the target keeps its bytes; said once on stderr.
mkdir -p "$work/log-link"
ln -s "$work/target.txt" "$work/log-link/alarmlog.txt"
run log-link
status=$?
[ "$status" -eq 0 ] || fail "alarmlog.txt as a link: exit status $status"
cmp -s "$work/target.txt" "$work/target.orig" || fail "alarmlog.txt as a link: its target was written"
[ -L "$work/log-link/alarmlog.txt" ] || fail "alarmlog.txt as a link: the link was replaced"
[ "$(grep -c "alarm log not written: it is a symbolic link, not a regular file" "$work/log-link.err.txt")" -eq 1 ] ||
  fail "alarmlog.txt as a link: not said exactly once"
grep -q "Wrenlocator Started" "$work/log-link.out.txt" || fail "alarmlog.txt as a link: the run did not go on"

# alarmlog.txt as a FIFO: no waiting for a reader.
mkdir -p "$work/log-fifo"
mkfifo "$work/log-fifo/alarmlog.txt"
run log-fifo
status=$?
[ "$status" -eq 0 ] || fail "alarmlog.txt as a FIFO: exit status $status"
[ -p "$work/log-fifo/alarmlog.txt" ] || fail "alarmlog.txt as a FIFO: the FIFO was replaced"

# history.xml as a link: refused, not followed and not replaced by a file.
mkdir -p "$work/history-link"
python3 "$(dirname "$0")/make_history.py" 3 "$work/target-history.xml"
cp "$work/target-history.xml" "$work/target-history.orig"
ln -s "$work/target-history.xml" "$work/history-link/history.xml"
run history-link
status=$?
[ "$status" -eq 1 ] || fail "history.xml as a link: exit status $status, not 1"
[ -L "$work/history-link/history.xml" ] || fail "history.xml as a link: the link was replaced"
cmp -s "$work/target-history.xml" "$work/target-history.orig" || fail "history.xml as a link: its target changed"
grep -q "history.xml is not used (it is a symbolic link, not a regular file)" "$work/history-link.err.txt" ||
  fail "history.xml as a link: no clear message"
grep -q "history.xml not saved: history.xml is a symbolic link, not a regular file" "$work/history-link.err.txt" ||
  fail "history.xml as a link: the refused save is not reported"
grep -q "history.xml is not used" "$work/history-link/alarmlog.txt" || fail "history.xml as a link: not in the log"

# history.xml as a FIFO: no waiting, left as it is.
mkdir -p "$work/history-fifo"
mkfifo "$work/history-fifo/history.xml"
run history-fifo
status=$?
[ "$status" -eq 1 ] || fail "history.xml as a FIFO: exit status $status, not 1"
[ -p "$work/history-fifo/history.xml" ] || fail "history.xml as a FIFO: the FIFO was replaced"
grep -q "history.xml is not used (it is a FIFO, not a regular file)" "$work/history-fifo.err.txt" ||
  fail "history.xml as a FIFO: no clear message"
ls "$work/history-fifo" | grep -q "history.xml.tmp-" && fail "history.xml as a FIFO: a temporary file was left"
exit 0
