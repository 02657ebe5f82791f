#!/usr/bin/env bash
# docs-screenshots.sh
#
# Refreshes the pictures of README.md in docs/screenshots/: the language,
# system, printer settings and port pages, the completion message, the
# network printer dialog with the printers Find found, the test receipt's
# question and the box that says a receipt was not printed, in Chinese and in
# English, as the end-to-end harness takes them under Wine at 96 DPI (a
# 32-bit prefix, Windows 7; the network scenario with the tests' port monitor
# and fake printers in a network namespace of its own, as root). Builds the
# win32 preset first; needs what scripts/setup-debian.sh installs. Takes
# about two minutes.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
build=$repo/build/win32
out=$repo/docs/screenshots

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target kelp_e2e >/dev/null

# A template prefix of its own, so that a test run in the same build folder
# keeps its own.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash scripts/e2e/prepare-prefix.sh win32 "$work/template" >/dev/null

# <picture in docs/screenshots> <screenshot of the harness, without .png>
pictures() {
  local lang=$1
  echo "$lang-language Kelp.PagesFitTheScreensDpi-96-$lang-language"
  echo "$lang-system Kelp.PagesFitTheScreensDpi-96-$lang-system"
  echo "$lang-settings Kelp.PagesFitTheScreensDpi-96-$lang-settings"
  echo "$lang-port Kelp.PagesFitTheScreensDpi-96-$lang-port"
  echo "$lang-completed Install.AutomaticUsbPortAsDefaultPrinter-usb-message-$lang"
  echo "$lang-network NetworkWizard.FindPickAndInstallOnTheFoundPrinter-found"
  echo "$lang-question NetworkWizard.TheTestReceiptOfferedAfterTheInstallation-question"
  echo "$lang-receipt NetworkWizard.TheTestReceiptOfferedAfterTheInstallation-receipt-paper-out"
}

mkdir -p "$out"
for locale in zh_CN en_US; do
  lang=${locale%%_*}
  shots=$build/screenshots/$locale-win32
  # Yesterday's pictures must not stand in for today's.
  while read -r _ shot; do rm -f "$shots/$shot.png"; done < <(pictures "$lang")
  KELP_BUILD_DIR=$build KELP_E2E_TEMPLATE=$work/template KELP_E2E_DPI=96 \
    bash scripts/e2e/run-scenario.sh "$locale.UTF-8" win32 win7 \
    'Kelp.PagesFitTheScreensDpi:Install.AutomaticUsbPortAsDefaultPrinter' >"$work/$locale.log" 2>&1 ||
    { cat "$work/$locale.log" >&2; echo "the $locale scenario failed" >&2; exit 1; }
  KELP_BUILD_DIR=$build KELP_E2E_TEMPLATE=$work/template KELP_E2E_DPI=96 \
    KELP_E2E_TCPMON=$build/tests/e2e/kelptcpmon.dll KELP_E2E_LAN=10.77.0.1/24 \
    KELP_E2E_PRINTERS="10.77.0.10:9100=ready 10.77.0.20:9100=paper-out" \
    bash scripts/e2e/run-scenario.sh "$locale.UTF-8" win32 win7 'NetworkWizard.*' >"$work/$locale-network.log" 2>&1 ||
    { cat "$work/$locale-network.log" >&2; echo "the $locale network scenario failed" >&2; exit 1; }
  while read -r name shot; do
    # A page has under a hundred colours (a message box with its icon a few
    # hundred): a 256-colour palette keeps the pages exact.
    convert "$shots/$shot.png" -strip -colors 256 -define png:compression-level=9 "PNG8:$out/$name.png"
    echo "$out/$name.png ($(stat -c %s "$out/$name.png") bytes)"
  done < <(pictures "$lang")
done
