# A start-up the game cannot complete ends with status 1 and one line on standard error that names
# the cause: too few file descriptors (prlimit --nofile=4), too little memory (ulimit -v 200000).
# The libraries may print lines of their own before it (Xlib, the OpenGL driver); the game's is
# the one line that starts with its name.
. "$(dirname "$0")/lib.sh"

# Runs the game under the given limit command, with no descriptors but the standard three (a test
# runner's own would take the few the limit leaves); checks its status and its one line.
expect_failure() {
  local cause=$1 ours
  shift
  (
    for fd in $(ls /proc/$BASHPID/fd); do [ "$fd" -gt 2 ] && eval "exec $fd>&-"; done
    exec "$@"
  ) </dev/null >"$GAME_LOG" 2>&1
  GAME_STATUS=$?
  [ "$GAME_STATUS" -eq 1 ] || fail "$*: status $GAME_STATUS, not 1"
  ours=$(grep '^vostrandelimerix: ' "$GAME_LOG")
  [ "$(printf '%s\n' "$ours" | grep -c .)" -eq 1 ] || fail "$*: not one line of the game's own"
  case $ours in
    "vostrandelimerix: $cause"*) ;;
    *) fail "$*: the line does not name '$cause': $ours" ;;
  esac
}

expect_failure "too few file descriptors" prlimit --nofile=4 -- "$VOST_GAME"
expect_failure "out of memory" bash -c 'ulimit -v 200000 && exec "$0"' "$VOST_GAME"
echo "PASS: start-up failures name their cause"
