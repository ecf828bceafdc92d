#!/bin/sh
# Cross-builds librururev.dll for 32-bit and 64-bit Windows with mingw-w64,
# checks each DLL's exports and imports with objdump, and, where this machine
# can run the target's programs under Wine, runs each build's kernel digest
# program and compares its lines with those of this machine's build
# (BUILD_DIR, default build).
# The builds go to BUILD_DIR-win32 and BUILD_DIR-win64.
set -eu
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build}
jobs=${JOBS:-2}

cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$jobs" --target rururev_kernel_digest >/dev/null
"$build/tests/rururev_kernel_digest" >"$build/kernel_digest.txt"

# Wine runs the programs in a prefix of its own, made on first use.
export WINEPREFIX="$PWD/$build-wineprefix" WINEDEBUG=-all
status=0
for target in "win32 i686 pei-i386" "win64 x86_64 pei-x86-64"; do
  set -- $target
  dir=$build-$1 format=$3
  cmake -S . -B "$dir" --toolchain "cmake/mingw-w64-$2.cmake" --no-warn-unused-cli >/dev/null
  cmake --build "$dir" -j"$jobs" >/dev/null
  sh tests/windows/check_dll.sh "$dir/librururev.dll" "$format" src/module/lua51.def || status=1

  sh tests/windows/compare_digests.sh "$1" "$dir/tests/rururev_kernel_digest.exe" \
    "$build/kernel_digest.txt" "$dir" || status=1
done
[ -x /usr/lib/wine/wineserver ] && /usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
