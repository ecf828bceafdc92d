#!/bin/sh
# Packs a Windows build for its users: DIST/librururev-VERSION-TARGET.zip
# holding librururev.dll, README.txt (cmake/windows-readme.txt filled in for
# the target) and LICENSE.txt, the texts with Windows line ends, and
# playground.html (DIST/playground/index.html) when ./dev wasm has built it.
# Usage: package.sh DLL TARGET DIST   (TARGET: win32 or win64)
set -eu
dll=$1 target=$2 dist=$3
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(librururev VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
case $target in
  win32) bits=32 cpu="any x86 processor with SSE2 (Pentium 4, Athlon 64 or later)" ;;
  win64) bits=64 cpu="any x86-64 processor" ;;
  *) echo "package.sh: unknown target $target" >&2; exit 2 ;;
esac
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$dll" "$stage/librururev.dll"
sed -e "s/@VERSION@/$version/g" -e "s/@BITS@/$bits/g" -e "s/@CPU@/$cpu/g" \
    "$top/cmake/windows-readme.txt" | sed 's/$/\r/' >"$stage/README.txt"
sed 's/$/\r/' "$top/LICENSE" >"$stage/LICENSE.txt"
mkdir -p "$dist"
zip=$(cd "$dist" && pwd)/librururev-$version-$target.zip
rm -f "$zip"
files="librururev.dll README.txt LICENSE.txt"
if [ -f "$dist/playground/index.html" ]; then
  cp "$dist/playground/index.html" "$stage/playground.html"
  files="$files playground.html"
fi
(cd "$stage" && zip -q -X "$zip" $files)
echo "$dist/librururev-$version-$target.zip: $(unzip -Z1 "$zip" | tr '\n' ' ')"
