#!/usr/bin/env bash
# Checks the built Kelp.exe: a 32-bit GUI program that imports only known DLLs
# (which Windows always takes from the system folder, never from the
# program's), with the embedded manifest the wizard relies on.
set -euo pipefail
exe=${1:?usage: check-exe.sh Kelp.exe}
fail=0
bad() { echo "FAIL: $*"; fail=1; }

kind=$(file -b "$exe")
case "$kind" in
  *"PE32 executable"*"(GUI)"*"Intel 80386"*) echo "ok: $kind" ;;
  *) bad "not a 32-bit i386 GUI program: $kind" ;;
esac

# Every other DLL (winspool.drv, comctl32.dll, ...) is loaded at run time from
# the system folder (platform/win32/SystemDlls.h); an import of one would be
# searched for in the folder Kelp.exe was started from.
allowed="KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll SHELL32.dll msvcrt.dll"
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -u)
[ -n "$imports" ] || bad "no imports found"
for dll in $imports; do
  found=0
  for ok in $allowed; do [ "${dll,,}" = "${ok,,}" ] && found=1; done
  [ "$found" = 1 ] && echo "ok: imports $dll" || bad "imports $dll, which is not a known DLL"
done

# The manifest is stored as plain UTF-8 text in the resource section.
manifest=$(LC_ALL=C grep -a -o '<assembly.*</assembly>' "$exe" | tr -d '\r' || true)
[ -n "$manifest" ] || manifest=$(LC_ALL=C tr -d '\r\n' < "$exe" | grep -a -o '<assembly.*</assembly>' || true)
[ -n "$manifest" ] || bad "no manifest embedded"
expect() { grep -q -- "$1" <<<"$manifest" && echo "ok: manifest has $1" || bad "manifest lacks $1"; }
expect 'level="highestAvailable"'
expect 'uiAccess="false"'
expect 'name="Microsoft.Windows.Common-Controls"'
expect 'version="6.0.0.0"'
expect 'processorArchitecture="X86"'
if grep -q -i 'supportedOS' <<<"$manifest"; then bad "manifest declares supported operating systems"; else echo "ok: no supportedOS"; fi

# Version resource naming Kelp 4.0 (UTF-16 strings).
if LC_ALL=C grep -a -q "$(printf '4\0.\x000\0')" "$exe"; then echo "ok: version 4.0"; else bad "no version 4.0"; fi

[ "$fail" = 0 ] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
