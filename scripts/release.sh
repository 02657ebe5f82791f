#!/usr/bin/env bash
# Builds Kelp.exe (preset win32, build/win32) and writes the release archive
# build/release/Kelp-<version>.zip, the version being the project version of
# CMakeLists.txt. The archive holds, at its root:
#
#   Kelp.exe           the wizard, as checked by scripts/check-exe.sh, signed
#                      with Authenticode when a certificate is given
#   VENDOR-GUIDE.txt   docs/VENDOR-GUIDE.md with Windows line ends
#   SHA256SUMS         the SHA-256 sums of both (sha256sum -c SHA256SUMS)
#
# and build/release/Kelp-<version>.zip.sha256 is the archive's own sum.
# Beside it, build/release/Kelp-<version>.msi (scripts/msi.sh): the sample
# driver package (build/win32/package, or KELP_MSI_PACKAGE, a vendor's own
# package) with this Kelp.exe at its root, signed like Kelp.exe after its
# last change, and Kelp-<version>.msi.sha256.
#
# Signing (scripts/sign-exe.sh): KELP_SIGN_PFX (certificate and key, PKCS#12)
# and KELP_SIGN_PASSWORD; KELP_SIGN_TIMESTAMP, an RFC 3161 timestamp server,
# when set; KELP_SIGN_CAFILE, the roots to verify against, when not the
# system's. Without KELP_SIGN_PFX the archive holds an unsigned Kelp.exe and
# the script says so.
#
# Needs the packages of scripts/setup-debian.sh (cmake, the mingw-w64 i686
# compiler, zip, python3, wixl and msitools, osslsigncode and openssl for
# signing).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

missing=()
tools=(cmake i686-w64-mingw32-g++-posix i686-w64-mingw32-g++-win32 i686-w64-mingw32-objdump file zip python3 sha256sum wixl msibuild)
[ -n "${KELP_SIGN_PFX:-}" ] && tools+=(osslsigncode)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "release: missing ${missing[*]}; run scripts/setup-debian.sh first" >&2
  exit 1
fi

echo "== building Kelp.exe (preset win32)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)"

build=$repo/build/win32
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ "$version" =~ ^[0-9]+(\.[0-9]+)*$ ]] || { echo "release: no project version in $build/CMakeCache.txt" >&2; exit 1; }
exe=$build/platform/win32/Kelp.exe
[ -f "$exe" ] || { echo "release: no $exe after the build" >&2; exit 1; }

echo "== checking Kelp.exe"
if ! check=$(bash scripts/check-exe.sh "$exe" 2>&1); then
  echo "$check" >&2
  echo "release: Kelp.exe failed its checks; nothing written" >&2
  exit 1
fi

out=$repo/build/release
archive=$out/Kelp-$version.zip
stage=$out/Kelp-$version
msi=$out/Kelp-$version.msi
rm -rf "$stage" "$archive" "$msi" "$msi.sha256"
mkdir -p "$stage"
if [ -n "${KELP_SIGN_PFX:-}" ]; then
  echo "== signing Kelp.exe with $KELP_SIGN_PFX${KELP_SIGN_TIMESTAMP:+, timestamp from $KELP_SIGN_TIMESTAMP}"
  bash scripts/sign-exe.sh "$exe" "$stage/Kelp.exe" || { echo "release: signing failed; nothing written" >&2; exit 1; }
  signed="signed"
else
  echo "== Kelp.exe NOT signed (set KELP_SIGN_PFX and KELP_SIGN_PASSWORD to sign it)"
  cp "$exe" "$stage/Kelp.exe"
  signed="UNSIGNED"
fi
# UTF-8 with a byte order mark and CRLF line ends, so that Notepad on any
# Windows shows it as written.
{ printf '\xef\xbb\xbf'; sed 's/\r$//; s/$/\r/' docs/VENDOR-GUIDE.md; } >"$stage/VENDOR-GUIDE.txt"

(cd "$stage" && sha256sum Kelp.exe VENDOR-GUIDE.txt >SHA256SUMS && zip -X -q "$archive" Kelp.exe VENDOR-GUIDE.txt SHA256SUMS)
# Tested with Python's zipfile (zip -T would need unzip, which setup does not install).
python3 -m zipfile -t "$archive" >/dev/null || { echo "release: $archive does not test as a sound archive" >&2; exit 1; }

echo "== building Kelp-$version.msi"
msi_package=$out/msi-package
rm -rf "$msi_package" "$out/msi-unsigned"
cp -a "${KELP_MSI_PACKAGE:-$build/package}" "$msi_package"
cp "$stage/Kelp.exe" "$msi_package/Kelp.exe"
bash scripts/msi.sh "$msi_package" "$out/msi-unsigned" "$version" || { echo "release: the MSI could not be built" >&2; exit 1; }
if [ -n "${KELP_SIGN_PFX:-}" ]; then
  # After scripts/msi.sh's last edit of the database: any later change breaks the signature.
  bash scripts/sign-exe.sh "$out/msi-unsigned/Kelp-$version.msi" "$msi" || { echo "release: signing the MSI failed" >&2; exit 1; }
else
  mv "$out/msi-unsigned/Kelp-$version.msi" "$msi"
fi
rm -rf "$stage" "$msi_package" "$out/msi-unsigned"
(cd "$out" && sha256sum "$(basename "$archive")" >"$archive.sha256" && sha256sum "$(basename "$msi")" >"$msi.sha256")

echo "== $archive (Kelp $version, Kelp.exe $signed) and $(basename "$msi") ($signed)"
python3 -m zipfile -l "$archive"
cat "$archive.sha256" "$msi.sha256"
