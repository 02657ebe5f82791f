#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test:
# the unit tests on the host under AddressSanitizer + UBSan (a debug build:
# the plain host preset's build adds nothing the suite would catch),
# a bounded fuzzing run, the checks of the built Kelp.exe, and the
# end-to-end scenarios under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/setup-debian.sh

echo "== unit tests (AddressSanitizer + UBSan)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --test-dir build/asan -L unit --output-on-failure -j"$jobs"

echo "== fuzzing port classification and the serial-device scan"
bash scripts/fuzz.sh 20

echo "== Kelp.exe and end-to-end scenarios under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
# A scenario spends most of its time waiting on Wine: one more than the
# cores keeps them busy.
ctest --test-dir build/win32 -L 'build|e2e' --output-on-failure -j"$((jobs + 1))"
