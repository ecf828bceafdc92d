# Sourced by the scripts that run Windows programs under Wine: one way to
# find the loader of a target and to ask whether this machine can run that
# target's programs at all. Some kernels refuse 32-bit programs ("Exec format
# error"), so a machine may run win64 programs and not win32 ones.

# The Wine loader for win32 or win64; RURUREV_WINE_win32 and
# RURUREV_WINE_win64 put another runner in its place.
wine_runner() {
  case $1 in
    win32) echo "${RURUREV_WINE_win32:-/usr/lib/wine/wine}" ;;
    win64) echo "${RURUREV_WINE_win64:-/usr/lib/wine/wine64}" ;;
    *) echo "wine_runner: unknown target $1" >&2; return 2 ;;
  esac
}

# Whether this kernel starts 32-bit x86 programs: a 96-byte program that
# only exits with status 42 is written and run, with no Wine involved, so the
# answer is the machine's and never one of Wine's passing failures. Status 0:
# it does; 1: the kernel refuses it (Exec format error); 2: no answer (the
# program could not be written or run, say on a noexec /tmp), said on
# standard error. RURUREV_PROBE_32BIT names another program to run instead.
kernel_runs_32bit() {
  probe=${RURUREV_PROBE_32BIT:-}
  if [ -z "$probe" ]; then
    probe=$(mktemp "${TMPDIR:-/tmp}/rururev-i386.XXXXXX") || return 2
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$probe"
    chmod +x "$probe"
  fi
  said=$("$probe" 2>&1)
  status=$?
  [ -z "${RURUREV_PROBE_32BIT:-}" ] && rm -f "$probe"
  case $status:$said in
    42:*) return 0 ;;
    *"Exec format error"*) echo "the kernel refuses 32-bit programs (Exec format error)" >&2; return 1 ;;
    *) echo "cannot tell whether the kernel runs 32-bit programs (status $status: $said)" >&2; return 2 ;;
  esac
}

# Succeeds when the target's runner starts a program of that target and the
# program answers: Wine's own command interpreter, built for the target,
# echoes a word. Otherwise says why on standard error and fails: status 1
# when this machine cannot (no loader outside CI, or a kernel that refuses
# 32-bit programs, asked of the kernel itself), 2 when it should and does
# not: the loader missing in CI (CI=true), where Wine is installed, or Wine
# failing to start a program in CI. Wine's own failures are often passing
# ("wine client error:0: recvmsg: Connection reset by peer" while another
# run's server exits), so the loader is tried a few times first.
can_run() {
  runner=$(wine_runner "$1") || return 2
  if [ "$1" = win32 ]; then
    why=$(kernel_runs_32bit 2>&1)
    case $? in
      0) ;;
      1) echo "$why" >&2; return 1 ;;
      *) echo "$why" >&2; return 2 ;;
    esac
  fi
  if [ ! -x "$runner" ]; then
    echo "$runner is not installed" >&2
    # CI installs Wine: there a missing loader is a fault, not a skip.
    [ "${CI:-}" = true ] && return 2
    return 1
  fi
  tries=0
  while [ $tries -lt "${RURUREV_WINE_TRIES:-4}" ]; do
    [ $tries -gt 0 ] && sleep "${RURUREV_WINE_PAUSE:-1}"
    tries=$((tries + 1))
    answer=$(timeout 120 "$runner" cmd /c echo ready 2>&1 | tr -d '\r') || true
    case $answer in
      *ready*) return 0 ;;
    esac
  done
  echo "$runner does not start a program, $tries tries: $(echo "$answer" | tail -n 1)" >&2
  [ "${CI:-}" = true ] && return 2
  return 1
}

# The number of bits of the target's programs, for messages.
target_bits() {
  case $1 in win32) echo 32 ;; win64) echo 64 ;; esac
}
