#!/usr/bin/env bash
# Every test: installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs all CTest tests, builds and checks the
# Debian package, runs the monitoring
# cycle's concurrency test under ThreadSanitizer, then builds the fuzz
# targets with clang and gives them a short bounded run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j "$(nproc)"

# The Debian package, built from the default preset, checked with lintian
# and unpacked into a scratch root to run from there.
scripts/package.sh

# The monitoring cycle's threads under ThreadSanitizer: only its own test.
cmake --preset tsan
cmake --build --preset tsan --target app_monitor_concurrency_tests
ctest --preset tsan -R '^Monitor(Concurrency|ThreadWorkers)\.'

cmake --preset fuzz
cmake --build --preset fuzz
scripts/fuzz.sh "${WREN_FUZZ_SECONDS:-60}"
