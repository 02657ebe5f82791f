#!/usr/bin/env bash
# Installs what building and testing Kelp needs on a fresh Debian 12 machine.
# Safe to run again: it only adds what is missing.
set -euo pipefail

need_pkgs=(cmake make g++ ninja-build googletest libgtest-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64 fonts-wine xvfb xauth x11-utils fonts-wqy-microhei locales imagemagick
  clang libclang-rt-14-dev file zip python3 osslsigncode openssl wixl msitools
  iproute2 util-linux socat)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  updated=0
fi
missing=()
for p in "${need_pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

for loc in zh_CN en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$"; then
    $SUDO localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done
