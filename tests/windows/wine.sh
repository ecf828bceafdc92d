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

# Succeeds when the target's runner starts a program of that target and the
# program answers: Wine's own command interpreter, built for the target,
# echoes a word. Otherwise says why on standard error and fails: status 1
# when this machine cannot (no loader, or the kernel refuses to start the
# loader itself: it lacks 32-bit support), 2 when it should and does not:
# the loader missing in CI (CI=true), where Wine is always installed, or
# Wine failing to start a program in CI. Wine's own failures are often
# passing ("wine client error:0: recvmsg: Connection reset by peer" while
# another run's server exits), so the probe is tried a few times first.
can_run() {
  runner=$(wine_runner "$1") || return 2
  if [ ! -x "$runner" ]; then
    echo "$runner is not installed" >&2
    # CI installs Wine: there a missing loader is a fault, not a skip.
    [ "${CI:-}" = true ] && return 2
    return 1
  fi
  # The loader alone, without a Wine server or a program: this fails only
  # when the kernel will not run it.
  if ! version=$("$runner" --version 2>&1); then
    echo "$runner does not start: $(echo "$version" | tail -n 1)" >&2
    return 1
  fi
  tries=0
  while [ $tries -lt "${RURUREV_WINE_TRIES:-4}" ]; do
    [ $tries -gt 0 ] && sleep "${RURUREV_WINE_PAUSE:-1}"
    tries=$((tries + 1))
    answer=$("$runner" cmd /c echo ready 2>&1 | tr -d '\r') || true
    case $answer in
      *ready*) return 0 ;;
    esac
  done
  echo "$runner ($version) does not start a program, $tries tries: $(echo "$answer" | tail -n 1)" >&2
  [ "${CI:-}" = true ] && return 2
  return 1
}

# The number of bits of the target's programs, for messages.
target_bits() {
  case $1 in win32) echo 32 ;; win64) echo 64 ;; esac
}
