#!/usr/bin/env bash
# Every test: installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs all CTest tests, then builds the
# fuzz targets with clang and gives them a short bounded run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j "$(nproc)"

cmake --preset fuzz
cmake --build --preset fuzz
scripts/fuzz.sh "${WREN_FUZZ_SECONDS:-60}"
