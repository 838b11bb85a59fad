# Shared steps of the window tests (sourced by tests/window/*_test.sh under with_xvfb.sh).
#
#   start_game [ARGS...]      starts the game in its own session, stdin from /dev/null; sets
#                             GAME_PID and GAME_LOG (its stdout and stderr)
#   find_game_window [TITLE]  waits for the game's window (and for TITLE as its title when given);
#                             sets GAME_WINDOW
#   wait_game_window_mapped   waits until that window is mapped (viewable)
#   focus_game_window         waits until that window is mapped and gives it the keyboard focus
#   wait_game_exit SECONDS    waits for the game to end; sets GAME_STATUS; fails on timeout
#   ms_now                    milliseconds of the monotonic clock
#   fail MESSAGE              prints the message and the game's log, ends the test with status 1
#   press_final_key KEY       sends the key that ends the game to its window
#   start_window_manager      starts openbox on $DISPLAY and waits until it manages windows
#   start_x_server SERVER...  starts an X server of the test's own (the command line without
#                             -displayfd), waits until it answers and makes it $DISPLAY, with the
#                             window manager when the test runs under one
# The game is killed when the script exits, whatever happened.
#
# Window manager: with VOST_WINDOW_MANAGER=openbox (the second pass of the window tests) openbox
# runs on the test's display before the script goes on, as on a player's desktop; without it
# the display has none. under_window_manager tells which. A script that sets
# WINDOW_MANAGER_LATER=1 before sourcing starts it itself, on the display it chooses.
#
# Dialogs: the recording stand-in tests/support/fake-xmessage/xmessage comes first in PATH and
# answers No (or OK). A test that provokes dialogs on purpose sets EXPECTED_DIALOGS to the number
# it expects and reads them with dialog_texts; any other dialog fails the test when it ends.
set -u

: "${VOST_GAME:?VOST_GAME must name the game executable}"
: "${VOST_X11_TOOLS:?VOST_X11_TOOLS must name the folder of the x11 tools}"

GAME_PID=""
GAME_LOG=$(mktemp)
GAME_WINDOW=""
GAME_STATUS=""

FAKE_XMESSAGE_LOG=$(mktemp)
export FAKE_XMESSAGE_LOG
export PATH="${VOST_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}/tests/support/fake-xmessage:$PATH"
EXPECTED_DIALOGS=0

# The dialogs shown so far, one line each: the arguments separated by " | ".
dialog_texts() {
  tr '\0\n' '\n ' <"$FAKE_XMESSAGE_LOG" | awk '
    count == 0 { count = $0; line = ""; next }
    { line = line (line == "" ? "" : " | ") $0; if (--count == 0) print line }'
}

# Programs a test starts beside the game (the window manager, other windows), ended with it.
HELPER_PIDS=()

cleanup_game() {
  local status=$?
  if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
    kill -9 "$GAME_PID" 2>/dev/null
  fi
  local pid
  for pid in "${HELPER_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  rm -f "$GAME_LOG"
  local shown
  shown=$(dialog_texts | wc -l)
  if [ "$shown" -ne "$EXPECTED_DIALOGS" ]; then
    echo "FAIL: $shown dialog(s) shown, $EXPECTED_DIALOGS expected:"
    dialog_texts
    status=1
  fi
  rm -f "$FAKE_XMESSAGE_LOG"
  exit "$status"
}
trap cleanup_game EXIT

fail() {
  echo "FAIL: $*"
  if [ -s "$GAME_LOG" ]; then
    echo "--- game output ---"
    cat "$GAME_LOG"
  fi
  exit 1
}

ms_now() {
  local seconds
  seconds=$(cut -d' ' -f1 /proc/uptime)
  echo $((${seconds%.*} * 1000 + 10#${seconds#*.} * 10))
}

start_game() {
  setsid "$VOST_GAME" "$@" </dev/null >"$GAME_LOG" 2>&1 &
  GAME_PID=$!
}

find_game_window() {
  local args=(--pid "$GAME_PID" --timeout 20)
  if [ $# -gt 0 ]; then args+=(--name "$1"); fi
  GAME_WINDOW=$("$VOST_X11_TOOLS/x11_find_window" "${args[@]}") && return 0
  # Say which it was: a game that ended (crashed) at its start, or one still running without it.
  if ! kill -0 "$GAME_PID" 2>/dev/null; then
    wait "$GAME_PID"
    fail "the game ended with status $? before a window${1:+ titled '$1'} appeared"
  fi
  fail "no window of the game${1:+ titled '$1'} appeared in 20 s (the game still runs)"
}

# A window manager maps the window a moment after it appears; neither the focus nor a capture can
# go to a window that is not mapped yet (BadMatch).
wait_game_window_mapped() {
  local deadline=$(($(ms_now) + 10000))
  until xwininfo -id "$GAME_WINDOW" 2>/dev/null | grep -q 'Map State: IsViewable'; do
    [ "$(ms_now)" -lt "$deadline" ] || fail "the game's window was not mapped"
    sleep 0.02
  done
}

focus_game_window() {
  wait_game_window_mapped
  xdotool windowfocus --sync "$GAME_WINDOW" || fail "cannot focus the game's window"
}

# The game may close its window as soon as the key is down, before xdotool sends the release;
# the release then meets a window that is gone (BadWindow). The exit status the test checks next
# tells whether the game ended the way the key asks.
press_final_key() {
  local errors
  errors=$(xdotool key --window "$GAME_WINDOW" "$1" 2>&1 >/dev/null) && return 0
  case $errors in
    # The press went through the server's test extension, so the key is still down there: it
    # would repeat into the next window that gets the focus (under a window manager, the next
    # game of the same test, which then ends at once). Release it on the server itself.
    *BadWindow*)
      xdotool keyup "$1" 2>/dev/null
      return 0
      ;;
  esac
  fail "xdotool could not send $1: $errors"
}

wait_game_exit() {
  local deadline=$(($(ms_now) + $1 * 1000))
  while kill -0 "$GAME_PID" 2>/dev/null; do
    if [ "$(ms_now)" -gt "$deadline" ]; then
      fail "the game was still running after $1 s"
    fi
    sleep 0.01
  done
  wait "$GAME_PID"
  GAME_STATUS=$?
  GAME_PID=""
}

under_window_manager() { [ "${VOST_WINDOW_MANAGER:-}" = openbox ]; }

# openbox announces itself on the root window (_NET_SUPPORTING_WM_CHECK) once it manages windows.
start_window_manager() {
  openbox --sm-disable >/dev/null 2>&1 </dev/null &
  HELPER_PIDS+=($!)
  local deadline=$(($(ms_now) + 10000))
  until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    [ "$(ms_now)" -lt "$deadline" ] || fail "openbox did not start"
    sleep 0.05
  done
}

start_x_server() {
  local display_file
  display_file=$(mktemp)
  "$@" -displayfd 3 3>"$display_file" >/dev/null 2>&1 </dev/null &
  HELPER_PIDS+=($!)
  local deadline=$(($(ms_now) + 10000))
  until [ -s "$display_file" ] && xdpyinfo -display ":$(cat "$display_file")" >/dev/null 2>&1; do
    [ "$(ms_now)" -lt "$deadline" ] || fail "$1 did not start"
    sleep 0.05
  done
  export DISPLAY=":$(cat "$display_file")"
  rm -f "$display_file"
  if under_window_manager; then start_window_manager; fi
}

if under_window_manager && [ -z "${WINDOW_MANAGER_LATER:-}" ]; then start_window_manager; fi
