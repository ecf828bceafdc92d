#!/bin/sh
# Runs a Windows program under Wine, in the directory DIR. Usage:
#   run.sh TARGET LABEL DIR PROGRAM [ARGUMENTS...]
# TARGET is win32 or win64. Exit status: 0 when the program succeeded and
# printed something (its output is passed on), or when this machine cannot
# run the target's programs at all (said in one line: nothing was run); 1
# when the program fails, hangs past RURUREV_WINE_TIMEOUT seconds (default
# 1200) or prints nothing, or when Wine fails in CI.
set -u
target=$1 label=$2 dir=$3
shift 3
. "$(dirname "$0")/wine.sh"

why=$(can_run "$target" 2>&1)
case $? in
  0) ;;
  1) echo "$label: this machine cannot run $(target_bits "$target")-bit programs ($why); not run"
     exit 0 ;;
  *) echo "$label: $why"
     exit 1 ;;
esac

runner=$(wine_runner "$target")
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# A program that hangs fails after RURUREV_WINE_TIMEOUT seconds (124).
(cd "$dir" && timeout -k 10 "${RURUREV_WINE_TIMEOUT:-1200}" "$runner" "$@") >"$out" 2>&1
status=$?
tr -d '\r' <"$out"
if [ $status -ne 0 ]; then
  echo "$label: failed (exit status $status)"
  exit 1
fi
if [ ! -s "$out" ]; then
  echo "$label: printed nothing"
  exit 1
fi
