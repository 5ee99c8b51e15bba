#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh test
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DONDREL_SANITIZE=ON -DONDREL_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure -j2 "$@"
