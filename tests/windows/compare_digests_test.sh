#!/bin/sh
# compare_digests.sh against fake runners in place of Wine: a runner that
# cannot start programs is "not compared" and passes; one whose program
# crashes, prints nothing or prints other lines fails.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf 'tovoRGB 1234\ntovoHSV 5678\n' >"$tmp/expected.txt"

# name | what the runner does for the probe (cmd /c echo) | for the program
fake() {
  cat >"$tmp/$1" <<FAKE
#!/bin/sh
if [ "\$1" = cmd ]; then $2; else $3; fi
FAKE
  chmod +x "$tmp/$1"
}
fake refuses 'echo "Exec format error" >&2; exit 126' 'exit 126'
fake same    'echo ready' 'cat "'"$tmp"'/expected.txt"'
fake other   'echo ready' 'printf "tovoRGB 1234\r\ntovoHSV 9999\r\n"'
fake silent  'echo ready' 'exit 0'
fake crashes 'echo ready' 'echo "tovoRGB 1234"; exit 5'

failures=0
# runner | expected exit status | fragment of the message
while IFS='|' read -r runner want fragment; do
  ci=false
  case $runner in ci:*) ci=true runner=${runner#ci:} ;; esac
  got=$(CI=$ci RURUREV_WINE_win32="$tmp/$runner" sh "$here/compare_digests.sh" win32 prog.exe \
        "$tmp/expected.txt" build-win32 2>&1)
  status=$?
  case $got in *"$fragment"*) ok=1 ;; *) ok=0 ;; esac
  if [ $status -ne "$want" ] || [ $ok -eq 0 ]; then
    echo "FAIL $runner: exit $status (want $want), output: $got"
    failures=$((failures + 1))
  fi
done <<TABLE
refuses|0|cannot run 32-bit programs
same|0|equal this machine's (2 lines)
other|1|differ from this machine's
silent|1|printed nothing
crashes|1|failed (exit status 5)
missing|0|is not installed
ci:missing|1|is not installed
ci:refuses|0|cannot run 32-bit programs
TABLE
[ $failures -eq 0 ] && echo "compare_digests: all runner cases as expected"
exit $failures
