#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer build (build-asan/) and the optimised build
# of the developer tools (build/), then runs every test under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSMRA_SANITIZE=ON -DSMRA_TESTS=ON >/dev/null
cmake --build build-asan -j"$jobs"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSMRA_TESTS=OFF >/dev/null
cmake --build build -j"$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 600
