#!/bin/sh
# Runs a Windows build's kernel digest program under Wine and compares its
# lines with this machine's. Usage:
#   compare_digests.sh TARGET PROGRAM.exe EXPECTED.txt LABEL [ARGUMENT...]
# TARGET is win32 or win64; the ARGUMENTs go to the program. Exit status: 0
# when the lines are equal, or when this machine cannot run the target's
# programs at all (said in one line: nothing was compared); 1 when the
# program fails, prints nothing or prints other lines.
set -u
target=$1 program=$2 expected=$3 label=$4
shift 4
. "$(dirname "$0")/wine.sh"

why=$(can_run "$target" 2>&1)
case $? in
  0) ;;
  1) echo "$label: this machine cannot run $(target_bits "$target")-bit programs ($why); the digests were not compared"
     exit 0 ;;
  *) echo "$label: $why"
     exit 1 ;;
esac

runner=$(wine_runner "$target")
out=$(mktemp)
trap 'rm -f "$out"' EXIT
timeout -k 10 "${RURUREV_WINE_TIMEOUT:-1200}" "$runner" "$program" "$@" >"$out"
status=$?
if [ $status -ne 0 ]; then
  echo "$label: the digest program failed (exit status $status)"
  exit 1
fi
tr -d '\r' <"$out" >"$out.lines" && mv "$out.lines" "$out"
if [ ! -s "$out" ]; then
  echo "$label: the digest program printed nothing"
  exit 1
fi
if diff "$expected" "$out"; then
  echo "$label: kernel digests equal this machine's ($(wc -l <"$out") lines)"
else
  echo "$label: kernel digests differ from this machine's (< here, > Windows)"
  exit 1
fi
