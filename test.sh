#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test; then, for the whole suite, the Wi-Fi lab against the
# optimised build (build/ci-release, as CI builds it). Arguments go to the first
# ctest run and leave the lab out; ONDREL_LAB=0 leaves it out too.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh test
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DONDREL_SANITIZE=ON -DONDREL_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure -j2 -LE lab "$@"
if [ $# -eq 0 ] && [ "${ONDREL_LAB:-1}" != 0 ]; then
    # Two VMs under emulation: about 8 minutes with the optimised program, 12 with the sanitized one.
    cmake -S . -B build/ci-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DONDREL_WERROR=ON -DONDREL_BUILD_TESTS=ON -DONDREL_BUILD_BENCH=ON >/dev/null
    cmake --build build/ci-release --target ondrel ondrel_speed_server ondrel_lab_power
    ONDREL_LAB=1 ctest --test-dir build/ci-release --output-on-failure -L lab
fi
