#!/usr/bin/env bash
# Installs what is missing, builds Ondrel (Release) and runs it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh run >&2
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DONDREL_BUILD_TESTS=OFF -DONDREL_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target ondrel >&2
exec build/release/app/ondrel "$@"
