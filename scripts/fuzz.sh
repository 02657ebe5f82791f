#!/usr/bin/env bash
# Builds the libFuzzer target over port classification and the serial-device
# scan with clang (AddressSanitizer + UBSan) in build/fuzz and runs it on the
# seed corpus for a bounded time. Exits non-zero when the fuzzer finds a
# crash, a broken rule, a leak or a hang; the input is then in
# build/fuzz/tests/fuzz/port-fuzz/artifacts/ and can be replayed with
#   build/fuzz/tests/fuzz/kelp_port_fuzz <that file>
#
# Usage: scripts/fuzz.sh [seconds]     (default 20; KELP_FUZZ_SECONDS too)
# KELP_FUZZ_BUILD overrides the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${KELP_FUZZ_SECONDS:-20}}
build=${KELP_FUZZ_BUILD:-build/fuzz}
jobs=$(nproc)

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is missing (scripts/setup-debian.sh installs it)" >&2
  exit 2
fi

echo "== fuzz: building kelp_port_fuzz in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKELP_FUZZ=ON -DKELP_SANITIZE=ON >/dev/null
cmake --build "$build" --target kelp_port_fuzz -j"$jobs"

work="$build/tests/fuzz/port-fuzz"
mkdir -p "$work/corpus" "$work/artifacts"
rm -f "$work"/artifacts/*

echo "== fuzz: running kelp_port_fuzz for ${seconds}s"
status=0
"$build/tests/fuzz/kelp_port_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
  "$work/corpus" tests/fuzz/corpus >"$work/fuzz.log" 2>&1 || status=$?

grep -E '^(stat::|Done )' "$work/fuzz.log" || true
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
  echo "== fuzz: FINDING (exit $status), full log in $work/fuzz.log:" >&2
  grep -E 'rule broken|runtime error|ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|^SUMMARY' "$work/fuzz.log" >&2 || true
  grep -E '^(MS:|Base64:|artifact_prefix)' "$work/fuzz.log" >&2 || true
  ls -l "$work/artifacts" >&2
  exit 1
fi
echo "== fuzz: no finding"
