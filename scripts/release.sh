#!/usr/bin/env bash
# Builds Kelp.exe (preset win32, build/win32) and writes the release archive
# build/release/Kelp-<version>.zip, the version being the project version of
# CMakeLists.txt. The archive holds, at its root:
#
#   Kelp.exe           the wizard, as checked by scripts/check-exe.sh
#   VENDOR-GUIDE.txt   docs/VENDOR-GUIDE.md with Windows line ends
#
# Needs the packages of scripts/setup-debian.sh (cmake, the mingw-w64 i686
# compiler, zip, python3).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

missing=()
for tool in cmake i686-w64-mingw32-g++-posix i686-w64-mingw32-objdump file zip python3; do
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
rm -rf "$stage" "$archive"
mkdir -p "$stage"
cp "$exe" "$stage/Kelp.exe"
# UTF-8 with a byte order mark and CRLF line ends, so that Notepad on any
# Windows shows it as written.
{ printf '\xef\xbb\xbf'; sed 's/\r$//; s/$/\r/' docs/VENDOR-GUIDE.md; } >"$stage/VENDOR-GUIDE.txt"

(cd "$stage" && zip -X -q "$archive" Kelp.exe VENDOR-GUIDE.txt)
# Tested with Python's zipfile (zip -T would need unzip, which setup does not install).
python3 -m zipfile -t "$archive" >/dev/null || { echo "release: $archive does not test as a sound archive" >&2; exit 1; }
rm -rf "$stage"

echo "== $archive (Kelp $version)"
python3 -m zipfile -l "$archive"
