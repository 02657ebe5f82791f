#!/usr/bin/env bash
# bench/run.sh: builds Kelp.exe and the benchmark programs and measures, in
# one run, under Wine (a prefix of its own, 32-bit, under Xvfb):
#
#   start-up      Kelp.exe from start to its first page shown, against two
#                 dialog programs built the same way: the minimal one (no
#                 manifest, user32 and kernel32 only) and the fair one (the
#                 same dialog with Kelp's manifest, the common-controls
#                 initialisation and Kelp's imported DLLs plus comctl32).
#                 bench_startup.exe starts each in turn from the package root
#                 and polls for the window every millisecond; medians
#   installation  one installation pass of the engine without its 500 ms
#                 pause, against the bare sequence of the same spooler, file
#                 and registry calls (bench_install.exe; medians)
#   network       in a network namespace of its own with fake printers
#                 (scripts/e2e/fake-printers.py): the probe of a ready
#                 printer on loopback; the search of 254 addresses with a
#                 1 s deadline where three printers answer (one hangs up
#                 after a second of silence) and no other address does, in
#                 the engine and as Kelp.exe /find; searches of 254
#                 addresses that all refuse, where nothing answers, and of
#                 254 and 1,024 peers that accept and never answer; how long
#                 a ready printer's connection is held during a search
#                 (bench_network.exe and the printers' records; medians)
#   size          Kelp.exe stripped, and the DLLs it imports
#
# A benchmark, not a test: it prints the figures and has no thresholds. It
# fails only when something could not be built or measured.
#
# Environment:
#   KELP_BENCH_DIR      work folder (builds, prefix)    [<repo>/build/bench]
#   KELP_BENCH_STARTS   counted starts per program      [30]
#   KELP_BENCH_PASSES   counted passes per variant      [40]
#   KELP_BENCH_PROBES   counted probes                  [40]
#   KELP_BENCH_SEARCHES counted searches of each kind   [5]
#   KELP_BENCH_FILE_KB  replace every driver file of the package by a
#                       stand-in of this many KiB [unset: the package's files]
#   KELP_BENCH_LOCALE   LANG and LC_ALL of the run      [en_US.UTF-8]
#   KELP_BENCH_KEEP=1   keep the Wine prefix afterwards
#   KELP_BENCH_NETWORK_ONLY=1  measure the network part alone (and the size)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/e2e/wine-env.sh
. "$repo/scripts/e2e/wine-env.sh"

started=$SECONDS
work=${KELP_BENCH_DIR:-$repo/build/bench}
starts=${KELP_BENCH_STARTS:-30}
passes=${KELP_BENCH_PASSES:-40}
file_kb=${KELP_BENCH_FILE_KB:-0}
probes=${KELP_BENCH_PROBES:-40}
searches=${KELP_BENCH_SEARCHES:-5}
locale=${KELP_BENCH_LOCALE:-en_US.UTF-8}
network_only=${KELP_BENCH_NETWORK_ONLY:-0}
toolchain=$repo/cmake/mingw-i686.cmake
jobs=$(nproc)
mkdir -p "$work"
log=$work/build.log
: >"$log"

# run_logged <what> <command...>: output to the log, shown only on failure.
run_logged() {
  local what=$1
  shift
  if ! "$@" >>"$log" 2>&1; then
    echo "bench: $what failed; the end of $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

prefix=$work/prefix
XVFB_PID=
PREFIX_PID=
# shellcheck disable=SC2317  # called by the EXIT trap
cleanup() {
  # A prefix still being made is let finish, then removed with the rest.
  [ -n "$PREFIX_PID" ] && wait "$PREFIX_PID" 2>/dev/null
  if [ -n "${WINEPREFIX:-}" ]; then
    timeout 30 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  [ "${KELP_BENCH_KEEP:-0}" = 1 ] || rm -rf "$prefix" "$prefix.new"
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The prefix is made while the programs build.
echo "== making the Wine prefix $prefix (in the background)"
rm -rf "$prefix" "$prefix.new"
(make_prefix win32 "$prefix.new" >>"$work/prefix.log" 2>&1 && mv "$prefix.new" "$prefix") &
PREFIX_PID=$!

echo "== building Kelp.exe and the sample package ($work/kelp, MinSizeRel, as the win32 preset)"
run_logged "configuring Kelp" cmake -S "$repo" -B "$work/kelp" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=MinSizeRel
run_logged "building Kelp" cmake --build "$work/kelp" --target sample_package -j"$jobs"
echo "== building the benchmark programs ($work/tools)"
run_logged "configuring the benchmark" cmake -S "$repo/bench" -B "$work/tools" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=MinSizeRel
run_logged "building the benchmark" cmake --build "$work/tools" -j"$jobs"

if ! wait "$PREFIX_PID"; then
  PREFIX_PID=
  echo "bench: making the Wine prefix failed; see $work/prefix.log" >&2
  exit 1
fi
PREFIX_PID=
echo "   prefix ready after $((SECONDS - started)) s"

# The package as a user has it: on drive C:, started from its root. The
# benchmark programs beside it, in C:\bench.
drive_c=$prefix/drive_c
mkdir -p "$drive_c/package" "$drive_c/bench"
cp -a "$work/kelp/package/." "$drive_c/package/"
cp "$work/tools/bench_startup.exe" "$work/tools/bench_install.exe" "$work/tools/bench_network.exe" "$work/tools/minimal_dialog.exe" \
  "$work/tools/fair_dialog.exe" "$drive_c/bench/"

export WINEPREFIX=$prefix WINEARCH=win32
export LANG=$locale LC_ALL=$locale
unset LANGUAGE
start_xvfb || exit 1

results=$work/results.txt
: >"$results"
cd "$drive_c/package"

if [ "$network_only" != 1 ]; then
echo "== start-up: $starts starts of each, from C:\\package"
if ! wine 'C:\bench\bench_startup.exe' "$starts" \
  kelp 'C:\package\Kelp.exe' 'Vexo Receipt Printer Driver' \
  minimal 'C:\bench\minimal_dialog.exe' 'Kelp bench minimal dialog' \
  fair 'C:\bench\fair_dialog.exe' 'Kelp bench minimal dialog' | tr -d '\r' >>"$results"; then
  echo "bench: the start-up measurement failed" >&2
  exit 1
fi

echo "== installation pass: $passes passes of each, from C:\\package"
if ! wine 'C:\bench\bench_install.exe' "$passes" "$file_kb" | tr -d '\r' >>"$results"; then
  echo "bench: the installation measurement failed" >&2
  exit 1
fi
fi
cd "$repo"

# The printers listen on 127.x addresses of a network namespace made for this
# part alone: 127.0.1.10 ready; in 127.0.2.1-254 two ready printers, one with
# paper near its end that hangs up after a second of silence (the three name
# themselves), and 251 addresses that
# never answer a connect; nothing in 127.0.3.x (refused); 127.0.6.1-254 never
# answer a connect; 127.0.5.1-254 and 127.0.8.0-127.0.11.255 accept and never
# answer. Wine's wineserver makes a program's
# sockets, so the one running outside is let end first and a new one starts
# inside the namespace.
timeout 30 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
rm -rf "$work/printers"
echo "== network: $probes probes, $searches searches of each kind, in a network namespace of its own"
printers="127.0.1.10:9100=ready+model=RK-730P+serial=B-10"
for i in $(seq 1 254); do
  case $i in
    20|200) state=ready+model=RK-730P+serial=B-$i ;;
    40) state=near-end+hangs-up+model=MZ730P+serial=B-40 ;;
    *) state=no-answer ;;
  esac
  printers+=" 127.0.2.$i:9100=$state 127.0.5.$i:9100=silent 127.0.6.$i:9100=no-answer"
done
for c in 8 9 10 11; do
  for i in $(seq 0 255); do printers+=" 127.0.$c.$i:9100=silent"; done
done
# shellcheck disable=SC2016  # expanded by the inner shell
if ! unshare --net -- bash -c '
  ip link set lo up || exit 1
  python3 "$1" "$2" $3 & fake=$!
  for _ in $(seq 1 100); do [ -e "$2/ready" ] && break; sleep 0.1; done
  wine "C:\bench\bench_network.exe" "$4" "$5" "C:\package\Kelp.exe"; rc=$?
  timeout 30 wineserver -w
  kill $fake; wait $fake 2>/dev/null
  exit $rc' - "$repo/scripts/e2e/fake-printers.py" "$work/printers" "$printers" "$probes" "$searches" |
  tr -d '\r' >>"$results"; then
  echo "bench: the network measurement failed" >&2
  exit 1
fi

# field <leading word> <label> <key>: one value from the results.
field() {
  awk -v w="$1" -v l="label=$2" -v k="$3=" \
    '$1 == w && $2 == l { for (i = 3; i <= NF; i++) if (index($i, k) == 1) print substr($i, length(k) + 1) }' \
    "$results"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

kelp_exe=$work/kelp/package/Kelp.exe
stripped=$work/Kelp.stripped.exe
i686-w64-mingw32-strip -o "$stripped" "$kelp_exe"
kelp_size=$(stat -c %s "$stripped")
minimal_size=$(stat -c %s "$work/tools/minimal_dialog.exe")
fair_size=$(stat -c %s "$work/tools/fair_dialog.exe")
imports=$(i686-w64-mingw32-objdump -p "$kelp_exe" | sed -n 's/^\s*DLL Name: //p' | sort -f | paste -sd ' ')

keys="network:probe network:identity network:find network:find_refused network:find_exe network:find_dead
  network:find_one network:find_silent network:find_silent1024"
[ "$network_only" = 1 ] || keys+=" startup:kelp startup:minimal startup:fair install:kelp install:bare"
for key in $keys; do
  [ -n "$(field "${key%%:*}" "${key#*:}" median_ms)" ] || { echo "bench: no $key figure in $results" >&2; exit 1; }
done

s_kelp=$(field startup kelp median_ms) s_min=$(field startup minimal median_ms) s_fair=$(field startup fair median_ms)
i_kelp=$(field install kelp median_ms) i_bare=$(field install bare median_ms)
cpu=$(sed -n 's/^model name\s*:\s*//p' /proc/cpuinfo | head -n1)
mem=$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
PAUSE_MS=$(sed -n 's/^pause requested_ms=\([0-9]*\).*/\1/p' "$results")
setup_field() { sed -n "s/^setup .*\b$1=\([^ ]*\).*/\1/p" "$results"; }
if [ "$file_kb" -gt 0 ]; then files="stand-ins of $file_kb KiB"; else files="the sample package's own"; fi

echo
echo "Kelp benchmark, $(date -u +%Y-%m-%d) - $(wine --version), 32-bit prefix, $locale, Xvfb"
echo "machine: $(nproc) CPUs, $cpu, $mem RAM"
echo
printf '%-44s %12s %12s %12s\n' "" "median" "min" "max"
[ "$network_only" = 1 ] || {
printf '%-44s %9s ms %9s ms %9s ms\n' \
  "start-up to first page, Kelp.exe" "$s_kelp" "$(field startup kelp min_ms)" "$(field startup kelp max_ms)" \
  "start-up to dialog, minimal dialog program" "$s_min" "$(field startup minimal min_ms)" "$(field startup minimal max_ms)" \
  "start-up to dialog, fair dialog program" "$s_fair" "$(field startup fair min_ms)" "$(field startup fair max_ms)"
printf '%-44s %12s\n' "  ratio Kelp / minimal ($starts starts each)" "$(ratio "$s_kelp" "$s_min")" \
  "  ratio Kelp / fair ($starts starts each)" "$(ratio "$s_kelp" "$s_fair")"
printf '%-44s %9s ms %9s ms %9s ms\n' \
  "installation pass, Kelp engine (no pause)" "$i_kelp" "$(field install kelp min_ms)" "$(field install kelp max_ms)" \
  "installation pass, bare Win32 calls" "$i_bare" "$(field install bare min_ms)" "$(field install bare max_ms)"
printf '%-44s %12s\n' "  ratio Kelp / bare ($passes passes each)" "$(ratio "$i_kelp" "$i_bare")"
}
printf '%-44s %9s ms %9s ms %9s ms\n' \
  "probe of a ready printer on loopback" "$(field network probe median_ms)" "$(field network probe min_ms)" \
  "$(field network probe max_ms)" \
  "the same, asked who it is as well" "$(field network identity median_ms)" "$(field network identity min_ms)" \
  "$(field network identity max_ms)" \
  "search, 254 addresses, 3 printers named, 1 s" "$(field network find median_ms)" "$(field network find min_ms)" \
  "$(field network find max_ms)" \
  "  the same, Kelp.exe /find start to exit" "$(field network find_exe median_ms)" \
  "$(field network find_exe min_ms)" "$(field network find_exe max_ms)" \
  "search, 254 addresses, all refused" "$(field network find_refused median_ms)" \
  "$(field network find_refused min_ms)" "$(field network find_refused max_ms)"
printf '%-44s %9s ms %9s ms %9s ms\n' \
  "search, 254 addresses, none answers" "$(field network find_dead median_ms)" \
  "$(field network find_dead min_ms)" "$(field network find_dead max_ms)" \
  "search, one address that does not answer" "$(field network find_one median_ms)" \
  "$(field network find_one min_ms)" "$(field network find_one max_ms)" \
  "search, 254 peers that never answer" "$(field network find_silent median_ms)" \
  "$(field network find_silent min_ms)" "$(field network find_silent max_ms)" \
  "search, 1,024 peers that never answer" "$(field network find_silent1024 median_ms)" \
  "$(field network find_silent1024 min_ms)" "$(field network find_silent1024 max_ms)"
printf '%-44s %12s\n' "  ratio 3 printers named / one silent address" \
  "$(ratio "$(field network find median_ms)" "$(field network find_one median_ms)")"
printf '%-44s %9s ms %9s ms %9s ms\n' "ready printer's connection held in a search" \
  "$(sort -n "$work/printers/127.0.2.20_9100.con" | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')" \
  "$(sort -n "$work/printers/127.0.2.20_9100.con" | head -n1)" "$(sort -n "$work/printers/127.0.2.20_9100.con" | tail -n1)"
printf '%-44s %12s\n' "Kelp.exe stripped, bytes" "$kelp_size"
printf '%-44s %12s\n' "minimal dialog program, bytes" "$minimal_size" \
  "fair dialog program, bytes" "$fair_size"
echo "Kelp.exe imports: $imports"
[ "$network_only" = 1 ] || echo "installation: model $(setup_field model), $(setup_field edition) edition, port $(setup_field port)," \
  "set as default printer; 8 files, $(setup_field copied_bytes) bytes, copied per pass ($files files);" \
  "the ${PAUSE_MS:-500} ms pause after closing the printer left out"
echo "raw figures: $results"
echo "run took $((SECONDS - started)) s"
