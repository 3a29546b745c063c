#!/usr/bin/env bash
# Runs the program: installs what is missing, builds the default preset and
# runs the headless monitor for a while (20 seconds unless given) on the
# demo scenario built into the program. Its event lines show as they
# happen; the device list is printed at the end. Nothing here is a real
# device: the first line says so.
#   scripts/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target wrenlocator

data=build/default/run-data
mkdir -p "$data"
echo "Monitoring for $seconds seconds (history.xml and alarmlog.txt in $data)..."
build/default/src/app/wrenlocator --headless --stack sim --data-dir "$data" \
  --run-for "$seconds" --export txt "$data/list.txt"
echo
echo "The device list at the end (tab-separated, as Save As writes it):"
# The report ends each row with a carriage return alone.
tr '\r' '\n' <"$data/list.txt"
