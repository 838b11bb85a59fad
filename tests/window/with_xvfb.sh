#!/usr/bin/env bash
# Runs a command under an Xvfb of its own, the way the window tests need one:
#
#   tests/window/with_xvfb.sh [XVFB-ARGS...] -- COMMAND...
#
# The server picks its display number itself and reports it (-displayfd), so two servers started
# at the same moment never pick the same one. (xvfb-run -a looks for a free number among the lock
# files first and starts the server after: two runs starting together could both take it, and one
# of them then failed to open its display.) DISPLAY is set for COMMAND, whose status is returned;
# the server is ended afterwards. -noreset is always given: without it about a quarter of the
# launches right after a client disconnects fail to connect.
set -u
xvfb_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  xvfb_args+=("$1")
  shift
done
[ $# -gt 1 ] || { echo "usage: $0 [XVFB-ARGS...] -- COMMAND..." >&2; exit 2; }
shift

display_file=$(mktemp)
Xvfb -displayfd 3 -noreset -nolisten tcp "${xvfb_args[@]}" 3>"$display_file" >/dev/null 2>&1 </dev/null &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -f "$display_file"' EXIT
deadline=$((SECONDS + 20))
until [ -s "$display_file" ] && xdpyinfo -display ":$(head -n 1 "$display_file")" >/dev/null 2>&1; do
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "with_xvfb: Xvfb ended at its start" >&2; exit 1; }
  [ "$SECONDS" -lt "$deadline" ] || { echo "with_xvfb: Xvfb did not answer" >&2; exit 1; }
  sleep 0.05
done
export DISPLAY=":$(head -n 1 "$display_file")"
"$@"
