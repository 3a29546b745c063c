#!/usr/bin/env bash
# The lab scenario (July 2009) on stepped time in a zone that is two hours
# east of UTC in July and August only, whatever today's date: the device
# times in the list must read as the event lines do, two hours east.
#   daylight_saving.sh PROGRAM WORK_DIR SCENARIO SETTINGS
set -u
program=$1 work=$2 scenario=$3 settings=$4
rm -rf "$work"
mkdir -p "$work/data"
fail() { echo "$1"; echo "--- stdout"; cat "$work/out.txt"; echo "--- export"; cat "$work/export.txt"; exit 1; }
TZ="WST0WDT-2,J182/0,J244/0" "$program" --headless --stack "sim:$scenario" --data-dir "$work/data" \
  --run-for 15 --sim-clock stepped --settings "$settings" --export txt "$work/export.txt" \
  >"$work/out.txt" 2>&1 || fail "exit status $?"
grep -q "^16:04:03 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection to the remote radio" "$work/out.txt" ||
  fail "the event lines are not two hours east"
# The phone was last seen and used at that connection; the headset at 14:03:53
# and 14:03:56 UTC.
grep -q "00:1A:2B:3C:4D:5E	[^	]*	16:04:03 07/21/2009	16:04:03 07/21/2009	" "$work/export.txt" ||
  fail "the phone's times are not two hours east"
grep -q "00:03:89:44:55:66	[^	]*	16:03:53 07/21/2009	16:03:56 07/21/2009	" "$work/export.txt" ||
  fail "the headset's times are not two hours east"
exit 0
