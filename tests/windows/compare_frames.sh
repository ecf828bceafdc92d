#!/bin/sh
# Runs tests/windows/frame_run.lua through this machine's lua5.1 on its
# module and through a Windows build's lua.exe under Wine on its DLL, over
# the same 1080p frame, and compares the words each filter wrote: they must
# be equal for every filter but tovoAlp0, which draws from each C runtime's
# own rand. Prints both times and their ratio per filter (not checked).
# Usage: compare_frames.sh TARGET WINDOWS_BUILD_DIR NATIVE_BUILD_DIR REPS
set -u
target=$1 win=$(cd "$2" && pwd) native=$(cd "$3" && pwd) reps=$4
here=$(cd "$(dirname "$0")" && pwd)
filters=$here/../../src/cli/filters.lua
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

lua5.1 "$here/frame_run.lua" "$native/?.so;$native/tests/?.so" "$filters" "$reps" >"$out/native" ||
  { echo "compare_frames: the native run failed"; exit 1; }
sh "$here/run.sh" "$target" "$win: lua.exe frame_run.lua" "$win" deps/lua/lua.exe \
   "$here/frame_run.lua" "$win/?.dll;$win/tests/?.dll" "$filters" "$reps" >"$out/windows" ||
  { cat "$out/windows"; exit 1; }
grep -q "not run$" "$out/windows" && { cat "$out/windows"; exit 0; }

awk -v label="$(basename "$win")" '
  NR == FNR { digest[$1] = $2; ms[$1] = $3; next }
  FNR == 1 { printf "%-22s %10s %10s %7s\n", "filter", "native ms", label " ms", "ratio" }
  $1 in digest {
    printf "%-22s %10.2f %10.2f %7.2f\n", $1, ms[$1], $3, $3 / ms[$1]; n++
    if ($1 != "tovoAlp0" && $2 != digest[$1]) { print "  words differ: " digest[$1] " here, " $2 " there"; bad++ } }
  END { if (n == 0) { print label ": no filter compared"; exit 1 }
        printf "%s: %d filters, words equal to the native ones for all but tovoAlp0: %s\n", label, n, bad ? "NO" : "yes"
        exit bad ? 1 : 0 }' "$out/native" "$out/windows"
