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
# when the machine cannot, 2 when the loader is missing in CI (CI=true),
# where Wine is always installed.
can_run() {
  runner=$(wine_runner "$1") || return 2
  if [ ! -x "$runner" ]; then
    echo "$runner is not installed" >&2
    # CI installs Wine: there a missing loader is a fault, not a skip.
    [ "${CI:-}" = true ] && return 2
    return 1
  fi
  answer=$("$runner" cmd /c echo ready 2>&1 | tr -d '\r') || true
  case $answer in
    *ready*) return 0 ;;
  esac
  echo "$runner does not start a program: $(echo "$answer" | tail -n 1)" >&2
  return 1
}

# The number of bits of the target's programs, for messages.
target_bits() {
  case $1 in win32) echo 32 ;; win64) echo 64 ;; esac
}
