#!/bin/sh
# compare_digests.sh and run.sh against fake runners in place of Wine, and a
# fake answer of the kernel to a 32-bit program: on a kernel that refuses
# 32-bit programs nothing is compared and the check passes; a loader that
# fails where the kernel runs them is Wine's failure, never taken for the
# kernel's (in CI it fails); a runner whose program crashes, prints nothing
# or prints other lines fails; one that fails only at first is tried again.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf 'tovoRGB 1234\ntovoHSV 5678\n' >"$tmp/expected.txt"

# name | what the runner does for the probe (cmd /c echo) | for the program
# | for --version (answers by default)
fake() {
  cat >"$tmp/$1" <<FAKE
#!/bin/sh
case \$1 in
  --version) ${4:-echo wine-fake} ;;
  cmd) $2 ;;
  *) $3 ;;
esac
FAKE
  chmod +x "$tmp/$1"
}
refused='echo "Exec format error" >&2; exit 126'
wine_error='echo "wine client error:0: recvmsg: Connection reset by peer" >&2; exit 1'
fake refuses "$refused" 'exit 126' "$refused"
fake same    'echo ready' 'cat "'"$tmp"'/expected.txt"'
fake other   'echo ready' 'printf "tovoRGB 1234\r\ntovoHSV 9999\r\n"'
fake silent  'echo ready' 'exit 0'
fake crashes 'echo ready' 'echo "tovoRGB 1234"; exit 5'
# Wine failing on the first two probes, then answering; failing on all.
fake flaky   'n=$(cat "'"$tmp"'/probes" 2>/dev/null || echo 0); echo $((n + 1)) >"'"$tmp"'/probes"
    if [ $n -lt 2 ]; then '"$wine_error"'; fi; echo ready' 'cat "'"$tmp"'/expected.txt"'
fake broken  "$wine_error" 'exit 0'
export RURUREV_WINE_TRIES=3 RURUREV_WINE_PAUSE=0
printf '#!/bin/sh\nexit 42\n' >"$tmp/runs32"
printf '#!/bin/sh\necho "Exec format error" >&2; exit 126\n' >"$tmp/refuses32"
chmod +x "$tmp/runs32" "$tmp/refuses32"

failures=0
# runner | expected exit status | fragment of the message
while IFS='|' read -r runner want fragment; do
  ci=false kernel=runs32
  case $runner in ci:*) ci=true runner=${runner#ci:} ;; esac
  case $runner in no32:*) kernel=refuses32 runner=${runner#no32:} ;; esac
  rm -f "$tmp/probes"
  got=$(CI=$ci RURUREV_PROBE_32BIT="$tmp/$kernel" RURUREV_WINE_win32="$tmp/$runner" sh "$here/compare_digests.sh" win32 prog.exe \
        "$tmp/expected.txt" build-win32 2>&1)
  status=$?
  case $got in *"$fragment"*) ok=1 ;; *) ok=0 ;; esac
  if [ $status -ne "$want" ] || [ $ok -eq 0 ]; then
    echo "FAIL $runner: exit $status (want $want), output: $got"
    failures=$((failures + 1))
  fi
done <<TABLE
no32:refuses|0|cannot run 32-bit programs
refuses|0|does not start a program, 3 tries
same|0|equal this machine's (2 lines)
other|1|differ from this machine's
silent|1|printed nothing
crashes|1|failed (exit status 5)
missing|0|is not installed
ci:missing|1|is not installed
ci:no32:refuses|0|the kernel refuses 32-bit programs
ci:refuses|1|does not start a program, 3 tries
ci:no32:missing|0|cannot run 32-bit programs
flaky|0|equal this machine's (2 lines)
broken|0|3 tries: wine client error
ci:broken|1|does not start a program, 3 tries
TABLE

# run.sh, which runs the test programs, lua.exe and the frame comparison,
# judges the same runners alike.
while IFS='|' read -r runner want fragment; do
  ci=false kernel=runs32
  case $runner in ci:*) ci=true runner=${runner#ci:} ;; esac
  case $runner in no32:*) kernel=refuses32 runner=${runner#no32:} ;; esac
  rm -f "$tmp/probes"
  got=$(CI=$ci RURUREV_PROBE_32BIT="$tmp/$kernel" RURUREV_WINE_win32="$tmp/$runner" sh "$here/run.sh" win32 prog "$tmp" prog.exe 2>&1)
  status=$?
  case $got in *"$fragment"*) ok=1 ;; *) ok=0 ;; esac
  if [ $status -ne "$want" ] || [ $ok -eq 0 ]; then
    echo "FAIL run.sh $runner: exit $status (want $want), output: $got"
    failures=$((failures + 1))
  fi
done <<TABLE
no32:refuses|0|cannot run 32-bit programs
ci:refuses|1|does not start a program
same|0|tovoHSV 5678
silent|1|printed nothing
crashes|1|failed (exit status 5)
missing|0|is not installed
ci:missing|1|is not installed
flaky|0|tovoHSV 5678
ci:broken|1|does not start a program
TABLE
[ $failures -eq 0 ] && echo "compare_digests, run.sh: all runner cases as expected"
exit $failures
