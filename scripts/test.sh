#!/usr/bin/env bash
# Checks formatting, then builds everything with warnings as errors and runs every test,
# first in a normal build (build/), then in a build with the address and undefined-behaviour
# sanitizers (build-asan/). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== formatting =="
scripts/checkformat.sh

echo "== normal build =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFXENGINE_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== sanitizer build =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFXENGINE_SANITIZE=ON -DFXENGINE_WERROR=ON \
    -DFXENGINE_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && ctest --output-on-failure -j"$jobs")
echo "== all tests passed in both builds =="
