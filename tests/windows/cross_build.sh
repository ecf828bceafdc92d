#!/bin/sh
# Cross-builds librururev.dll for 32-bit and 64-bit Windows with mingw-w64,
# with the fast paths on Highway and a Lua 5.1 for Windows to test it, both
# built from Debian's source packages in the build directory. For each
# target it checks the DLL's exports and imports with objdump and, where
# this machine can run the target's programs under Wine:
# - compares the kernel digests with those of this machine's build
#   (BUILD_DIR, default build), and those of the fast paths over every
#   colour with kernel_digest_every_colour.expected;
# - runs the GoogleTest suite (the Lua cases load the DLL with require),
#   the exhaustive identity proofs too when EXHAUSTIVE=1;
# - loads the DLL with require in lua.exe;
# - runs every filter over the same 1080p frame as this machine's module
#   (FRAME_REPS runs each, default 3) and compares the words and times.
# Then it packs dist/librururev-VERSION-win32.zip and -win64.zip.
# The builds go to BUILD_DIR-win32 and BUILD_DIR-win64.
set -eu
cd "$(dirname "$0")/../.."
top=$PWD
build=${BUILD_DIR:-build}
jobs=${JOBS:-2}
. packaging/third_party.sh

cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$jobs" --target rururev_kernel_digest librururev rururev_frame >/dev/null
"$build/tests/rururev_kernel_digest" >"$build/kernel_digest.txt"

# Wine runs the programs in a prefix of its own, made on first use.
export WINEPREFIX="$top/$build-wineprefix" WINEDEBUG=-all
# The third-party sources are fetched once for both targets.
sources=$top/$build-windows-src
fetch_sources "$sources" $windows_sources
# One target's build and its checks but the timed frame comparison: the
# two targets run this side by side, so that one's Wine runs (a single
# process each) overlap the other's compiling.
build_and_check() {
  name=$1 arch=$2 format=$3 dir=$build-$1
  deps=$top/$dir/deps
  toolchain=$top/cmake/mingw-w64-$arch.cmake
  status=0
  build_highway "$sources/highway" "$toolchain" "$deps/highway"
  build_lua "$sources/lua5.1" "$arch-w64-mingw32" "$deps/lua"
  cmake -S . -B "$dir" --toolchain "$toolchain" --no-warn-unused-cli \
    -Dhwy_DIR="$deps/highway/lib/cmake/hwy" -DRURUREV_WINDOWS_LUA_DIR="$deps/lua" >/dev/null
  # Ninja prints a failing step on standard output: shown only then.
  cmake --build "$dir" -j"$jobs" >"$dir/build-output.txt" 2>&1 || { cat "$dir/build-output.txt"; return 1; }
  flock -s "$prefix_lock" true
  sh tests/windows/check_dll.sh "$dir/librururev.dll" "$format" src/module/lua51.def || status=1

  sh tests/windows/compare_digests.sh "$name" "$dir/tests/rururev_kernel_digest.exe" \
    "$build/kernel_digest.txt" "$dir" || status=1
  sh tests/windows/compare_digests.sh "$name" "$dir/tests/rururev_kernel_digest.exe" \
    tests/windows/kernel_digest_every_colour.expected "$dir, every colour" --every-colour || status=1

  # The suite on the module linked into the test program, then its Lua
  # cases again on librururev.dll loaded by require, but for those that look
  # inside the module (its tables, its allocation failures, its state kept
  # while the library stays loaded).
  skip_exhaustive='*Fast.*EveryColour*'
  [ "${EXHAUSTIVE:-0}" = 1 ] && skip_exhaustive=
  inside=ModuleLifetime.StateIsShared*:FrameChangeFilter.NoMemory*:ExtremeArguments.CurvePosition*:CurveTable.SetWrites*:StackAlignment.*
  # The two runs at once: a Wine process keeps less than a processor busy.
  mode_pids=
  for mode in linked dll; do
    skip=$skip_exhaustive env=
    [ $mode = dll ] && skip=${skip:+$skip:}$inside env=RURUREV_TESTS_REQUIRE_DLL=1
    filter='*'
    [ -n "$skip" ] && filter="*-$skip"
    env $env sh tests/windows/run.sh "$name" "$dir: tests ($mode)" "$dir/tests" rururev_tests.exe \
        --gtest_filter="$filter" --gtest_brief=1 >"$dir/tests-$mode.log" &
    mode_pids="$mode_pids $!"
  done
  for pid in $mode_pids; do wait "$pid" || status=1; done
  for mode in linked dll; do
    grep -E "^(\[  (PASSED|FAILED)|Fast-path targets|.*not run$|.*failed \(exit)" "$dir/tests-$mode.log" |
      sed "s|^|$dir, $mode module: |" || true
  done

  sh tests/windows/run.sh "$name" "$dir: require in lua.exe" "$dir" deps/lua/lua.exe \
    "$top/tests/lua/require_test.lua" "$top/$dir" || status=1
  return $status
}

# Wine makes its prefix on first use, which takes seconds: made once, in the
# background while the targets build. Its making holds a lock on
# prefix_lock, and each target takes the lock before its first Wine run.
. tests/windows/wine.sh
prefix_lock=$top/$build-wineprefix.lock
exec 9>"$prefix_lock"
flock 9
(
  runner=$(wine_runner win64)
  [ -x "$runner" ] && "$runner" cmd /c echo >/dev/null 2>&1 9>&- || true
) &
prefix_pid=$!
exec 9>&-

targets="win32:i686:pei-i386 win64:x86_64:pei-x86-64"
pids=
for target in $targets; do
  IFS=: read -r name arch format <<EOF_TARGET
$target
EOF_TARGET
  mkdir -p "$build-$name"
  (build_and_check "$name" "$arch" "$format") >"$build-$name.log" 2>&1 &
  pids="$pids $!"
done
trap 'kill $prefix_pid $pids 2>/dev/null; exit 130' INT TERM HUP
status=0
for pid in $pids; do wait "$pid" || status=1; done
wait "$prefix_pid" || true
trap - INT TERM HUP
for target in $targets; do
  name=${target%%:*}
  cat "$build-$name.log"
done

# The timed comparison of frames runs one target at a time, on a machine no
# longer busy with the other's build.
for target in $targets; do
  name=${target%%:*} dir=$build-${target%%:*}
  [ -f "$dir/librururev.dll" ] || continue
  sh tests/windows/compare_frames.sh "$name" "$dir" "$build" "${FRAME_REPS:-3}" || status=1
  sh packaging/windows/package.sh "$dir/librururev.dll" "$name" dist || status=1
done
[ -x /usr/lib/wine/wineserver ] && /usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
