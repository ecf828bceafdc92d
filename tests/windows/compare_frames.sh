#!/bin/sh
# Runs tests/windows/frame_run.lua through this machine's lua5.1 on its
# module and through a Windows build's lua.exe under Wine on its DLL, over
# the same 1080p frame, and compares the words each filter wrote: they must
# be equal for every filter but tovoAlp0, which draws from each C runtime's
# own rand. Prints both times and their ratio per filter (not checked): the
# fastest of REPS runs in each of ROUNDS rounds (default 1), the two sides
# taking turns, so that a burst of other work on the machine slows both.
# Usage: compare_frames.sh TARGET WINDOWS_BUILD_DIR NATIVE_BUILD_DIR REPS [ROUNDS]
set -u
target=$1 win=$(cd "$2" && pwd) native=$(cd "$3" && pwd) reps=$4 rounds=${5:-1}
here=$(cd "$(dirname "$0")" && pwd)
filters=$here/../../src/cli/filters.lua
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

round=0
while [ $round -lt "$rounds" ]; do
  round=$((round + 1))
  lua5.1 "$here/frame_run.lua" "$native/?.so;$native/tests/?.so" "$filters" "$reps" >>"$out/native" ||
    { echo "compare_frames: the native run failed"; exit 1; }
  sh "$here/run.sh" "$target" "$win: lua.exe frame_run.lua" "$win" deps/lua/lua.exe \
     "$here/frame_run.lua" "$win/?.dll;$win/tests/?.dll" "$filters" "$reps" >"$out/this" ||
    { cat "$out/this"; exit 1; }
  cat "$out/this" >>"$out/windows"
done
grep -q "not run$" "$out/windows" && { cat "$out/windows"; exit 0; }

awk -v label="$(basename "$win")" '
  NR == FNR { if (!($1 in ms) || $3 + 0 < ms[$1]) ms[$1] = $3 + 0; digest[$1] = $2; next }
  !($1 in digest) { next }
  !($1 in win) { order[++n] = $1; win[$1] = $3 + 0 }
  $3 + 0 < win[$1] { win[$1] = $3 + 0 }
  $1 != "tovoAlp0" && $2 != digest[$1] { print "  " $1 ": words differ: " digest[$1] " here, " $2 " there"; bad++ }
  END { if (n == 0) { print label ": no filter compared"; exit 1 }
        printf "%-22s %10s %10s %7s\n", "filter", "native ms", label " ms", "ratio"
        for (i = 1; i <= n; i++) { f = order[i]; printf "%-22s %10.2f %10.2f %7.2f\n", f, ms[f], win[f], win[f] / ms[f] }
        printf "%s: %d filters, words equal to the native ones for all but tovoAlp0: %s\n", label, n, bad ? "NO" : "yes"
        exit bad ? 1 : 0 }' "$out/native" "$out/windows"
