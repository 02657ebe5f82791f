#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test:
# the unit tests on the host (plain and under AddressSanitizer + UBSan),
# a bounded fuzzing run, the checks of the built Kelp.exe, and the
# end-to-end scenarios under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/setup-debian.sh

echo "== unit tests (host)"
cmake --preset host >/dev/null
cmake --build --preset host -j"$jobs"
ctest --test-dir build/host -L unit --output-on-failure -j"$jobs"

echo "== unit tests (AddressSanitizer + UBSan)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --test-dir build/asan -L unit --output-on-failure -j"$jobs"

echo "== fuzzing port classification and the serial-device scan"
bash scripts/fuzz.sh 20

echo "== Kelp.exe and end-to-end scenarios under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
ctest --test-dir build/win32 -L 'build|e2e' --output-on-failure -j"$jobs"
