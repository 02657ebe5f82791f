#!/usr/bin/env bash
# Installs what is needed, builds Kelp.exe and its sample driver package
# (preset win32, build/win32), and starts the wizard under Wine from the
# package root, as a user would.
#
# With $DISPLAY set the wizard opens on that display and the script waits
# until it is closed. Without one it runs under an Xvfb of its own: the
# script waits for the first page, saves a screenshot of it
# (build/win32/screenshots/run.png), prints where, and closes the wizard.
#
# The Wine prefix is the script's own (build/wine-run-<arch>), made once by the
# same recipe as the test prefixes. KELP_WINEARCH=win64 runs it in a 64-bit
# prefix (default win32). KELP_SKIP_SETUP=1 skips the package check.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
# shellcheck source=scripts/e2e/wine-env.sh
. "$repo/scripts/e2e/wine-env.sh"

arch=${KELP_WINEARCH:-win32}
build=${KELP_BUILD_DIR:-$repo/build/win32}

[ "${KELP_SKIP_SETUP:-0}" = 1 ] || bash scripts/setup-debian.sh

echo "== building Kelp.exe and the sample package in $build"
if [ "$build" = "$repo/build/win32" ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j"$(nproc)"
else
  cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi
package=$build/package
[ -f "$package/Kelp.exe" ] || { echo "no $package/Kelp.exe after the build" >&2; exit 1; }

prefix=$(dirname "$build")/wine-run-$arch
if [ ! -f "$prefix/system.reg" ]; then
  echo "== making the Wine prefix $prefix (once)"
  make_prefix "$arch" "$prefix" || { echo "wineboot failed" >&2; exit 1; }
fi
export WINEPREFIX=$prefix WINEARCH=$arch
# A prefix made by an older recipe may lack the keys Windows always has.
# The Wine session that adds them ends before the wizard's starts: a session
# begun without a display would keep the wizard from opening windows.
mirror_windows_keys || { echo "could not add the Windows registry keys to $prefix" >&2; exit 1; }
timeout 60 wineserver -w || true

if [ -n "${DISPLAY:-}" ]; then
  echo "== Kelp.exe on display $DISPLAY (close the wizard to finish)"
  cd "$package"
  wine Kelp.exe || true
  exit 0
fi

echo "== no display: Kelp.exe under Xvfb"
XVFB_PID=
KELP_PID=
# shellcheck disable=SC2317  # called by the EXIT trap
finish() {
  [ -n "$KELP_PID" ] && kill "$KELP_PID" 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; fi
  return 0
}
trap finish EXIT
start_xvfb

(cd "$package" && exec wine Kelp.exe) &
KELP_PID=$!

# The first page is up once an X window carries the wizard's caption.
caption="Vexo Receipt Printer Driver"
window=
for _ in $(seq 1 300); do
  window=$(xwininfo -root -tree 2>/dev/null | awk -v c="\"$caption\"" 'index($0, c) { print $1; exit }')
  [ -n "$window" ] && break
  kill -0 "$KELP_PID" 2>/dev/null || { echo "Kelp.exe ended before showing a page" >&2; exit 1; }
  sleep 0.2
done
[ -n "$window" ] || { echo "no wizard window within 60 s" >&2; exit 1; }
sleep 1  # let it paint

shots=$build/screenshots
mkdir -p "$shots"
import -window "$window" "$shots/run.png"
echo "first page: screenshot in $shots/run.png"

# End the wizard the way its close box does: taskkill without /f sends
# WM_CLOSE to the process's windows, which the page takes as Cancel.
wine taskkill /im Kelp.exe >/dev/null 2>&1 || true
for _ in $(seq 1 100); do
  kill -0 "$KELP_PID" 2>/dev/null || break
  sleep 0.2
done
if kill -0 "$KELP_PID" 2>/dev/null; then
  echo "the wizard did not close; stopping it" >&2
  wineserver -k 2>/dev/null || true
else
  wait "$KELP_PID" 2>/dev/null || true
  echo "the wizard closed"
fi
KELP_PID=
