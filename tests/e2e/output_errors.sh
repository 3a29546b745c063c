#!/usr/bin/env bash
# What the user names on the command line: an export that cannot be
# written says why (and never replaces what is not a regular file; a link
# to a report is followed and stays a link), a missing --settings file is
# bad usage, and `services` that finds nothing says so with status 1.
#   output_errors.sh PROGRAM WORK_DIR
set -u
program=$1 work=$2
rm -rf "$work"
mkdir -p "$work/data"
fail() { echo "$1"; echo "--- stdout"; cat "$work/out.txt"; echo "--- stderr"; cat "$work/err.txt"; exit 1; }
monitor() {
  "$program" --headless --stack sim --sim-clock stepped --run-for 2 --data-dir "$work/data" "$@" \
    >"$work/out.txt" 2>"$work/err.txt"
}

# A file that exists in a folder that takes no new file.
monitor --export txt /proc/version
status=$?
[ "$status" -eq 1 ] || fail "export to /proc/version: exit status $status"
grep -qx "wrenlocator: /proc/version not written: no file can be made beside it: No such file or directory" \
  "$work/err.txt" || fail "export to /proc/version: the cause is not said"

mkfifo "$work/fifo"
monitor --export txt "$work/fifo"
status=$?
[ "$status" -eq 1 ] || fail "export to a FIFO: exit status $status"
[ -p "$work/fifo" ] || fail "export to a FIFO: the FIFO was replaced"
grep -qx "wrenlocator: $work/fifo not written: it is a FIFO, not a regular file" "$work/err.txt" ||
  fail "export to a FIFO: the cause is not said"

printf 'old report\n' >"$work/report.txt"
ln -s "$work/report.txt" "$work/latest.txt"
monitor --export txt "$work/latest.txt"
status=$?
[ "$status" -eq 0 ] || fail "export through a link: exit status $status"
[ -L "$work/latest.txt" ] || fail "export through a link: the link was replaced"
grep -q "00:02:5B" "$work/report.txt" || fail "export through a link: the report is not in the linked file"

for settings in "$work/no-such.ini" "$work/data"; do
  monitor --settings "$settings"
  status=$?
  [ "$status" -eq 2 ] || fail "--settings $settings: exit status $status, not 2"
  grep -q "^wrenlocator: --settings $settings: " "$work/err.txt" || fail "--settings $settings: not said"
  [ ! -s "$work/out.txt" ] || fail "--settings $settings: the monitor ran"
done

"$program" services 7F:7F:7F --stack sim >"$work/out.txt" 2>"$work/err.txt"
status=$?
[ "$status" -eq 1 ] || fail "services matching nothing: exit status $status, not 1"
grep -q "no service texts found" "$work/err.txt" || fail "services matching nothing: not said"
exit 0
