#!/usr/bin/env bash
# run-scenario.sh <locale> <win32|win64> <winver> <gtest-filter> [kelp_e2e.exe arguments...]
#
# Runs kelp_e2e.exe under Wine against the sample package, in a fresh copy of
# the architecture's template prefix, under an Xvfb of its own, with LANG and
# LC_ALL set to <locale> and HKCU\Software\Wine "Version" set to <winver>
# ("default" leaves Wine's own, Windows 7). Further arguments go to
# kelp_e2e.exe (e.g. --gtest_also_run_disabled_tests). Exit code: the test
# program's.
#
# Environment (ctest sets these; the defaults fit build/win32):
#   KELP_BUILD_DIR       the win32 build folder            [<repo>/build/win32]
#   KELP_E2E_EXE         kelp_e2e.exe                       [$KELP_BUILD_DIR/tests/e2e/kelp_e2e.exe]
#   KELP_E2E_TEMPLATE    the template prefix                [$KELP_BUILD_DIR/e2e/templates/<arch>]
#   KELP_E2E_TIMEOUT     seconds before the run is stopped  [240]
#   KELP_E2E_KEEP=1      keep the scenario's prefix afterwards
#   KELP_E2E_DPI         the screen's DPI Wine reports (LogPixels) [96]
#   KELP_E2E_MSI_DIR     MSI packages to copy to C:\msi             [none]
#   KELP_E2E_TCPMON      a port monitor DLL to register as "Standard TCP/IP
#                        Port" (32-bit prefixes only)                  [none]
#   KELP_E2E_PRINTERS    fake network printers, "<address>:<tcp port>=<state>
#                        ..." (scripts/e2e/fake-printers.py), their records
#                        in C:\printers; the scenario then runs in a network
#                        namespace of its own, where only its loopback
#                        addresses exist                                [none]
#   KELP_E2E_SERIAL      fake serial printers, "COM<n>=<state> ..."
#                        (scripts/e2e/fake-serial-printer.py), each behind
#                        socat's pseudo-terminals, registered as the
#                        prefix's COM<n> (the spooler's port COM<n>:, line
#                        9600,n,8,1, its jobs sent to the terminal); their
#                        records in C:\serial                           [none]
#   KELP_E2E_LAN         with KELP_E2E_PRINTERS: "<address>/<prefix>", an
#                        Ethernet adapter of the namespace's own with that
#                        address (a veth pair whose other end has none);
#                        the printers on its network get their addresses
#                        on it, every other address there goes unanswered [none]
#
# Screenshots: $KELP_BUILD_DIR/screenshots/<locale>-<arch>/<test>-<page>.png
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source=scripts/e2e/wine-env.sh
. "$here/wine-env.sh"

if [ $# -lt 4 ]; then
  echo "usage: $0 <locale> <win32|win64> <winver> <gtest-filter> [kelp_e2e.exe arguments...]" >&2
  exit 2
fi
# Fake printers listen on 127.x addresses that only a network namespace of
# the scenario's own has: the script starts again inside one (as root, as
# CI runs it), with its loopback interface up and nothing else.
if [ -n "${KELP_E2E_PRINTERS:-}" ] && [ -z "${KELP_E2E_IN_NETNS:-}" ]; then
  unshare --net -- true 2>/dev/null ||
    { echo "a network namespace of its own (unshare --net) needs root: the scenario cannot run" >&2; exit 2; }
  KELP_E2E_IN_NETNS=1 exec unshare --net -- bash "$0" "$@"
fi
if [ -n "${KELP_E2E_IN_NETNS:-}" ]; then
  ip link set lo up || { echo "could not bring up the namespace's loopback interface" >&2; exit 2; }
  # An adapter that is up and not loopback, for the wizard's search of the
  # adapters' networks; it exists only in this namespace.
  if [ -n "${KELP_E2E_LAN:-}" ]; then
    { ip link add kelp0 type veth peer name kelp1 && ip addr add "$KELP_E2E_LAN" dev kelp0 &&
      ip link set kelp1 up && ip link set kelp0 up; } ||
      { echo "could not make the adapter $KELP_E2E_LAN" >&2; exit 2; }
    for printer in $KELP_E2E_PRINTERS; do
      address=${printer%%:*}
      case $address in 127.*) ;; *) ip addr add "$address/32" dev kelp0 || exit 2 ;; esac
    done
  fi
fi

locale=$1 arch=$2 winver=$3 filter=$4
shift 4
build=${KELP_BUILD_DIR:-$repo/build/win32}
exe=${KELP_E2E_EXE:-$build/tests/e2e/kelp_e2e.exe}
template=${KELP_E2E_TEMPLATE:-$build/e2e/templates/$arch}
limit=${KELP_E2E_TIMEOUT:-240}
dpi=${KELP_E2E_DPI:-96}
package=$build/package
shots=$build/screenshots/${locale%%.*}-$arch

for need in "$exe" "$package/Kelp.exe" "$template/system.reg"; do
  [ -e "$need" ] || { echo "missing: $need (build first; the template comes from prepare-prefix.sh)" >&2; exit 2; }
done

start=$SECONDS
mkdir -p "$build/e2e/prefixes" "$shots"
prefix=$(mktemp -d "$build/e2e/prefixes/${locale%%.*}-$arch-$winver.XXXXXX")
XVFB_PID=
PRINTERS_PID=
SERIAL_PID=

# shellcheck disable=SC2317  # called by the EXIT trap
cleanup() {
  if [ -n "$PRINTERS_PID" ]; then
    kill "$PRINTERS_PID" 2>/dev/null
    wait "$PRINTERS_PID" 2>/dev/null
  fi
  if [ -n "${WINEPREFIX:-}" ]; then
    # The wineserver ends once its last process has; a leftover gets killed.
    timeout 30 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null
  fi
  # After the prefix: its server holds the terminals open.
  if [ -n "$SERIAL_PID" ]; then
    kill "$SERIAL_PID" 2>/dev/null
    wait "$SERIAL_PID" 2>/dev/null
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  if [ "${KELP_E2E_KEEP:-0}" = 1 ]; then
    echo "prefix kept: $prefix"
  else
    rm -rf "$prefix"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cp -a "$template/." "$prefix/"
# The package as a user has it: on drive C:, started from its root.
mkdir -p "$prefix/drive_c/package" "$prefix/drive_c/shots"
cp -a "$package/." "$prefix/drive_c/package/"
find "$prefix/drive_c/package" -name '*.ran' -delete
# A folder that is a link, as a junction is on Windows: C:\linked is system32.
ln -s windows/system32 "$prefix/drive_c/linked"
# The Windows Installer packages, for the scenarios that install them.
if [ -n "${KELP_E2E_MSI_DIR:-}" ]; then
  mkdir -p "$prefix/drive_c/msi"
  cp -a "$KELP_E2E_MSI_DIR/." "$prefix/drive_c/msi/"
fi

if [ -n "${KELP_E2E_PRINTERS:-}" ]; then
  # shellcheck disable=SC2086  # one word per printer
  python3 "$here/fake-printers.py" "$prefix/drive_c/printers" $KELP_E2E_PRINTERS &
  PRINTERS_PID=$!
  for _ in $(seq 1 100); do
    [ -e "$prefix/drive_c/printers/ready" ] && break
    kill -0 "$PRINTERS_PID" 2>/dev/null || break
    sleep 0.1
  done
  [ -e "$prefix/drive_c/printers/ready" ] || { echo "the fake printers did not start" >&2; exit 1; }
fi

export WINEPREFIX=$prefix WINEARCH=$arch
export LANG=$locale LC_ALL=$locale
unset LANGUAGE
export KELP_E2E_PACKAGE='C:\package' KELP_E2E_SHOTS='C:\shots'
export KELP_E2E_LOCALE=$locale KELP_E2E_ARCH=$arch KELP_E2E_WINVER=$winver KELP_E2E_DPI=$dpi
[ "$winver" = default ] && KELP_E2E_WINVER=win7

start_xvfb || exit 1
if [ "$winver" != default ]; then
  timeout 60 wine reg add 'HKCU\Software\Wine' /v Version /d "$winver" /f >/dev/null 2>&1 ||
    { echo "could not set Windows version $winver" >&2; exit 1; }
fi

if [ -n "${KELP_E2E_TCPMON:-}" ]; then
  [ "$arch" = win32 ] || { echo "KELP_E2E_TCPMON needs a 32-bit prefix" >&2; exit 2; }
  if ! cp "$KELP_E2E_TCPMON" "$prefix/drive_c/windows/system32/kelptcpmon.dll" ||
    ! timeout 60 wine reg add 'HKLM\System\CurrentControlSet\Control\Print\Monitors\Standard TCP/IP Port' \
      /v Driver /d kelptcpmon.dll /f >/dev/null 2>&1; then
    echo "could not register the port monitor $KELP_E2E_TCPMON" >&2
    exit 1
  fi
fi

if [ -n "${KELP_E2E_SERIAL:-}" ]; then
  serial=$prefix/drive_c/serial
  # shellcheck disable=SC2086  # one word per printer
  python3 "$here/fake-serial-printer.py" "$serial" $KELP_E2E_SERIAL &
  SERIAL_PID=$!
  for _ in $(seq 1 100); do
    [ -e "$serial/ready" ] && break
    kill -0 "$SERIAL_PID" 2>/dev/null || break
    sleep 0.1
  done
  [ -e "$serial/ready" ] || { echo "the fake serial printers did not start" >&2; exit 1; }
  {
    echo REGEDIT4
    echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
    for printer in $KELP_E2E_SERIAL; do echo "\"${printer%%=*}\"=\"$serial/printer-${printer%%=*}.port\""; done
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Ports]'
    for printer in $KELP_E2E_SERIAL; do echo "\"${printer%%=*}:\"=\"9600,n,8,1\""; done
    echo '[HKEY_CURRENT_USER\Software\Wine\Printing\Spooler]'
    for printer in $KELP_E2E_SERIAL; do echo "\"${printer%%=*}:\"=\"$serial/printer-${printer%%=*}.port\""; done
  } >"$prefix/drive_c/serial.reg"
  # The ports are read when the prefix starts: it is stopped after the import.
  if ! timeout 60 wine regedit /S 'C:\serial.reg' >/dev/null 2>&1 || ! timeout 30 wineserver -w; then
    echo "could not register the serial ports $KELP_E2E_SERIAL" >&2
    exit 1
  fi
fi

if [ "$dpi" != 96 ]; then
  # Read by every Wine process as it starts: set before anything runs.
  timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
    { echo "could not set LogPixels $dpi" >&2; exit 1; }
fi

echo "scenario $locale $arch $winver ${dpi} DPI: $filter (display $DISPLAY, prefix $prefix)"
timeout --kill-after=10 "$limit" wine "$exe" --gtest_filter="$filter" --gtest_color=no "$@"
rc=$?
[ $rc -eq 124 ] && echo "kelp_e2e.exe did not finish within $limit s" >&2

converted=0
for bmp in "$prefix"/drive_c/shots/*.bmp; do
  [ -e "$bmp" ] || continue
  name=$(basename "$bmp" .bmp)
  if convert "$bmp" "$shots/$name.png"; then
    converted=$((converted + 1))
  else
    echo "could not convert $bmp" >&2
    [ $rc -eq 0 ] && rc=1
  fi
done
echo "$converted screenshots in $shots"
echo "scenario took $((SECONDS - start)) s"
exit $rc
