#!/usr/bin/env bash
# prepare-prefix.sh <win32|win64> <dir>
# Makes the template Wine prefix that the scenarios of one test run copy.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/e2e/wine-env.sh
. "$here/wine-env.sh"

[ $# -eq 2 ] || { echo "usage: $0 <win32|win64> <dir>" >&2; exit 2; }
arch=$1 dir=$2
start=$SECONDS
# Made next to its final place and moved there when complete, so that a
# failed or interrupted wineboot never leaves a half-made template behind.
make_prefix "$arch" "$dir.new" || { echo "wineboot of the $arch prefix failed" >&2; rm -rf "$dir.new"; exit 1; }
rm -rf "$dir"
mv "$dir.new" "$dir"
echo "$arch template prefix in $dir ($((SECONDS - start)) s)"
