#!/usr/bin/env bash
# Window benchmark: measures the real game under its own Xvfb and prints what waiting, a key press,
# the start and the menu cost, as markdown tables ready to paste into docs/performance.md. Run by
# hand; it is a measurement, not a test, and exits 0 whatever the figures are.
#
#   scripts/bench-window.sh
#
# In both presentations (the default full screen, and --windowed) and for each display class
# (menu keys 1, 2, 3), each run starts the game and measures:
#   - waiting in the menu, then at the piece prompt after choosing the class: wake-ups per second
#     (voluntary + involuntary context switches from /proc/PID/task/*/status) and CPU time in
#     percent of one core (/proc/PID/task/*/schedstat, nanoseconds on the CPU, which unlike the
#     10 ms ticks of /proc/PID/stat resolves a few hundredths of a percent), for the whole process
#     and for each thread, over VOST_BENCH_SECONDS once the picture has been still for a second;
#   - resident memory in the menu: VmRSS and RssAnon from /proc/PID/status;
#   - key press -> changed pixels: one round of ten measured keys at the piece prompt (piece 1,
#     file a, rank 1, piece 2, file b, ... : each file letter and rank digit changes its echo
#     cell, and only those two cells are watched), each key sent with XTEST after 300-500 ms of
#     quiet, the echo cells polled with XShmGetImage every millisecond until they change
#     (tools/x11/x11_pixel_watch.cpp).
# Then VOST_BENCH_STARTS starts per presentation measure start -> the menu's final pixels: from
# the fork to the first moment the window shows exactly the picture of a settled menu.
# After each full-screen run of the game, the bare toolkit program (tools/x11/bare_freeglut.cpp:
# one 320 x 200 texture full screen, same display mode, no idle work) is started in the same X
# server and its VmRSS and RssAnon read the same way once its picture has been still for a second:
# the floor that the game's own memory is compared with.
# Figures are medians over the runs (min-max beside them); key latencies are median and p90 over
# all keys of a class. Threads without a name are numbered in the order they were created; the
# first four are named after the threads the host starts (see ROLES below).
#
#   VOST_BENCH_REPEATS=3    runs per presentation and class (3 gives 30 keys per class)
#   VOST_BENCH_SECONDS=10   length of each idle measurement
#   VOST_BENCH_STARTS=10    measured starts per presentation
#   VOST_BENCH_PRESENTATIONS="full screen|windowed"  what to measure, "|"-separated: full screen,
#                           windowed, or game options (e.g. "--scale=integer")
#   VOST_BENCH_BUILD=DIR    build directory (default build/winbench, a Release build of the game
#                           and the x11 tools; an existing configured directory is reused)
#   VOST_BENCH_KEEP=DIR     keep the raw samples in DIR (default: a temporary folder, deleted)
#   VOST_BENCH_REPORT=DIR   measure nothing; print the tables again from samples kept in DIR
#   VOST_BENCH_WATCH=half   watch the right half of the window for every key (see echo_cells_rect)
#   VOST_BENCH_BARE=1       measure the bare toolkit program beside the game (0: skip it; a path:
#                           use that bare_freeglut executable, e.g. one built from another tree
#                           when VOST_BENCH_BUILD is a build of a version without it)
#
# Installs missing Debian packages first, as the test command does. Takes about 10 minutes with
# the defaults. The machine's load average is printed with the results: on a loaded machine the
# latencies and start times grow, wake-up counts much less.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VOST_BENCH_BUILD:-$root/build/winbench}
repeats=${VOST_BENCH_REPEATS:-3}
seconds=${VOST_BENCH_SECONDS:-10}
starts=${VOST_BENCH_STARTS:-10}
bare_choice=${VOST_BENCH_BARE:-1}

# Outside: build, then run this script again under a fresh X server of its own.
if [ -z "${VOST_BENCH_INNER:-}" ] && [ -z "${VOST_BENCH_REPORT:-}" ]; then
  bash "$root/scripts/install-deps.sh" test
  if [ ! -f "$build/CMakeCache.txt" ]; then
    nice cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOST_WINDOW=ON \
      -DBUILD_TESTING=OFF >/dev/null
  fi
  # shellcheck disable=SC2046
  nice cmake --build "$build" -j "${VOST_JOBS:-$(nproc)}" \
    --target vostrandelimerix x11_find_window x11_pixel_watch $([ "$bare_choice" = 1 ] &&
      echo bare_freeglut)
  VOST_BENCH_INNER=1 VOST_BENCH_BUILD=$build exec xvfb-run -a \
    -s '-screen 0 1280x800x24 -noreset' bash "$0" "$@"
fi

game=$build/vostrandelimerix
tools=$build/tools/x11
case $bare_choice in
  0) bare="" ;;
  1) bare=$tools/bare_freeglut ;;
  *) bare=$bare_choice ;;
esac
if [ -n "$bare" ] && [ ! -x "$bare" ] && [ -z "${VOST_BENCH_REPORT:-}" ]; then
  echo "no bare toolkit program at $bare: not measured" >&2
  bare=""
fi
# The tree the game was built from (the build directory may belong to another checkout).
source_tree=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null ||
  true)
source_tree=${source_tree:-$root}
# Threads that carry the process's own name, in creation order: the first is the process's
# initial thread, which runs the window. The runtime names its other threads (program, timer,
# main loop); the unnamed rest are the GL driver's.
ROLES=("window")
# The presentations measured, "|"-separated (VOST_BENCH_PRESENTATIONS): the default full screen,
# --windowed, and the player's scaling options, each named after its command line.
IFS='|' read -r -a PRESENTATIONS <<<"${VOST_BENCH_PRESENTATIONS:-full screen|windowed}"
presentation_args() {
  case $1 in
    "full screen") ;;
    windowed) echo --windowed ;;
    *) echo "$1" ;;  # the options themselves, e.g. "--scale=sharp --aspect=4:3"
  esac
}

tab=$'\t'

GAME_PID=""
GAME_WINDOW=""
start_game() {
  # shellcheck disable=SC2046
  setsid "$game" $(presentation_args "$1") </dev/null >/dev/null 2>&1 &
  GAME_PID=$!
  GAME_WINDOW=$("$tools/x11_find_window" --pid "$GAME_PID" --name Vostrandelimerix --timeout 20)
}
end_game() {
  "$tools/x11_pixel_watch" keys "$GAME_WINDOW" --gap 0,0 +Escape || true
  for _ in $(seq 500); do
    kill -0 "$GAME_PID" 2>/dev/null || break
    sleep 0.01
  done
  kill -9 "$GAME_PID" 2>/dev/null || true
  wait "$GAME_PID" 2>/dev/null || true
  GAME_PID=""
}
settle() { "$tools/x11_pixel_watch" stable "$GAME_WINDOW" --quiet 1000 --timeout 30000 >/dev/null; }

# Appends "LABEL, VmRSS MiB, RssAnon MiB" of process $2 to the memory samples.
record_memory() {
  awk -v OFS='\t' -v label="$1" '/^VmRSS:/ { rss = $2 } /^RssAnon:/ { anon = $2 }
    END { print label, rss / 1024, anon / 1024 }' "/proc/$2/status" >>"$data/memory"
}

# Starts the bare toolkit program, waits until its full-screen picture has been still for a
# second, records its memory under the label "bare freeglut" and ends it. Its toolkit sets no
# _NET_WM_PID, so its window is found by its title; one runs at a time.
BARE_PID=""
measure_bare() {
  local window
  setsid "$bare" </dev/null >/dev/null 2>&1 &
  BARE_PID=$!
  if window=$("$tools/x11_find_window" --name "bare freeglut" --timeout 20) &&
    "$tools/x11_pixel_watch" stable "$window" --quiet 1000 --timeout 30000 >/dev/null; then
    record_memory "bare freeglut" "$BARE_PID"
  else
    echo "bare program: no settled window" >&2
  fi
  kill -9 "$BARE_PID" 2>/dev/null || true
  wait "$BARE_PID" 2>/dev/null || true
  BARE_PID=""
}

# One line per thread: TID, label, context switches so far, nanoseconds on the CPU so far.
snapshot() {
  local pid=$1
  awk -v process="$(cat "/proc/$pid/comm")" -v roles="$(IFS=,; echo "${ROLES[*]}")" '
    BEGIN { OFS = "\t"; split(roles, role, ",") }
    { n = split(FILENAME, part, "/"); tid = part[n - 1]; file = part[n] }
    file == "comm" { comm[tid] = $0; tids[tid] = 1 }
    file == "status" && /ctxt_switches:/ { switches[tid] += $2 }
    file == "schedstat" { cpu[tid] = $1 }
    END {
      count = 0
      for (tid in tids) sorted[++count] = tid + 0
      for (i = 2; i <= count; ++i)  # insertion sort: a handful of threads
        for (j = i; j > 1 && sorted[j - 1] > sorted[j]; --j) {
          t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t
        }
      unnamed = 0
      for (i = 1; i <= count; ++i) {
        tid = sorted[i]
        if (comm[tid] == process) {
          ++unnamed
          label = "#" unnamed " " (unnamed in role ? role[unnamed] : "(unnamed)")
        } else {
          label = comm[tid]
        }
        print tid, label, switches[tid], cpu[tid]
      }
    }' /proc/"$pid"/task/*/comm /proc/"$pid"/task/*/status /proc/"$pid"/task/*/schedstat
}

# Measures the waiting game for $seconds; appends "STATE, LABEL, wake-ups/s, CPU %" lines.
measure_idle() {
  local state=$1 before after t0 t1
  before=$(snapshot "$GAME_PID")
  t0=$EPOCHREALTIME
  sleep "$seconds"
  after=$(snapshot "$GAME_PID")
  t1=$EPOCHREALTIME
  awk -F'\t' -v OFS='\t' -v state="$state" -v t0="$t0" -v t1="$t1" '
    BEGIN { s = t1 - t0 }
    NR == FNR { label[$1] = $2; sw[$1] = $3; cpu[$1] = $4; next }
    ($1 in sw) {
      w = ($3 - sw[$1]) / s; c = ($4 - cpu[$1]) / s / 1e7
      print state, label[$1], w, c
      all_w += w; all_c += c
    }
    END { print state, "whole process", all_w, all_c }' \
    <(echo "$before") <(echo "$after") >>"$data/idle"
}

# Page rectangle (320 x 200 units) around the two echo cells, in window pixels.
# With a full-screen scaling option the page need not fill the window (borders, a narrower shape):
# then the whole right half of the window is watched, which holds the cells whatever the picture's
# place. A window keeps the page's shape, so there the cells are where they always are. Watching
# the larger rectangle costs the X server more on every poll: VOST_BENCH_WATCH=half watches the
# right half in every presentation, so that the default and the options compare alike.
echo_cells_rect() {
  "$tools/x11_pixel_watch" stable "$GAME_WINDOW" --quiet 200 >/dev/null
  local args
  args=$(presentation_args "$1")
  xwininfo -id "$GAME_WINDOW" | awk -v whole="$([ "${VOST_BENCH_WATCH:-}" = half ] ||
    { [ -n "$args" ] && [ "${args#*--windowed}" = "$args" ]; } && echo 1)" '
    /Width:/ { w = $2 } /Height:/ { h = $2 }
    END {
      if (whole) printf "%d,%d,%d,%d\n", w / 2, 1, w - w / 2 - 1, h - 2
      else printf "%d,%d,%d,%d\n", 256 * w / 320, 72 * h / 200, 48 * w / 320, 72 * h / 200
    }'
}

# Runs every measurement; writes the samples into $data.
measure_all() {
local load_before presentation class run
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for file in idle memory keys start; do : >"$data/$file"; done
for presentation in "${PRESENTATIONS[@]}"; do
  for class in 1 2 3; do
    for run in $(seq "$repeats"); do
      echo "run: $presentation, class $class, $run of $repeats" >&2
      start_game "$presentation"
      settle
      measure_idle "menu, $presentation"
      record_memory "$presentation" "$GAME_PID"
      "$tools/x11_pixel_watch" keys "$GAME_WINDOW" "+$class"
      settle
      measure_idle "class $class, $presentation"
      "$tools/x11_pixel_watch" keys "$GAME_WINDOW" --timeout 2000 --rect "$(echo_cells_rect "$presentation")" \
        +1 a 1 +2 b 2 +3 c 3 +4 d 4 +5 e 5 +x |
        sed "s/ /$tab/; s/^/class $class, $presentation$tab/" >>"$data/keys" ||
        echo "key measurement failed" >&2
      end_game
      # Interleaved with the game's full-screen runs, so that both meet the same X server state.
      if [ -n "$bare" ] && [ "$presentation" = "full screen" ]; then measure_bare; fi
    done
  done
  echo "starts: $presentation" >&2
  # shellcheck disable=SC2046
  "$tools/x11_pixel_watch" start --runs "$starts" -- "$game" $(presentation_args "$presentation") |
    sed "s/^start /$presentation$tab/" >>"$data/start"
done
{
  echo "$(date '+%Y-%m-%d %H:%M'), $(git -C "$source_tree" describe --always --dirty 2>/dev/null ||
    echo '?'), $(nproc) cores, load average $load_before before and" \
    "$(cut -d' ' -f1-3 /proc/loadavg) after; $repeats runs per class and presentation," \
    "${seconds} s per idle measurement, Xvfb 1280x800x24"
} >"$data/about"
}

# Reads "KEY<TAB>VALUE" lines (a VALUE that is not a number is counted apart); prints
# "KEY<TAB>median<TAB>p90<TAB>min<TAB>max<TAB>count<TAB>non-numbers", keys in first-seen order.
summarise() {
  awk -F'\t' -v OFS='\t' '
    { if (!($1 in n)) { order[++keys] = $1; n[$1] = 0; bad[$1] = 0 }
      if ($2 ~ /^[0-9.e+-]+$/) v[$1, ++n[$1]] = $2 + 0; else ++bad[$1] }
    END {
      for (k = 1; k <= keys; ++k) {
        key = order[k]; m = n[key]
        for (i = 1; i <= m; ++i) x[i] = v[key, i]
        for (i = 2; i <= m; ++i)
          for (j = i; j > 1 && x[j - 1] > x[j]; --j) { t = x[j]; x[j] = x[j - 1]; x[j - 1] = t }
        if (m == 0) { print key, "-", "-", "-", "-", 0, bad[key]; continue }
        median = (m % 2) ? x[(m + 1) / 2] : (x[m / 2] + x[m / 2 + 1]) / 2
        p = int(0.9 * m); if (p < 0.9 * m) ++p
        print key, median, x[p], x[1], x[m], m, bad[key]
      }
    }'
}

# Prints the tables from the samples in $data.
report() {
local states=() presentation class state w c header rule thread line source key label rss anon
local wakeups cpu by_thread_w by_thread_c threads keys all_keys starts_summary memory_rss memory_anon
for presentation in "${PRESENTATIONS[@]}"; do
  states+=("menu, $presentation")
  for class in 1 2 3; do states+=("class $class, $presentation"); done
done

echo
echo "Window benchmark, $(cat "$data/about")"
echo
echo "Waiting for a key, whole process (median over runs, min-max; \"class N\" is its piece prompt):"
echo
echo "| state | wake-ups per second | CPU, % of one core |"
echo "|---|---|---|"
wakeups=$(awk -F'\t' -v OFS='\t' '$2 == "whole process" { print $1, $3 }' "$data/idle" | summarise)
cpu=$(awk -F'\t' -v OFS='\t' '$2 == "whole process" { print $1, $4 }' "$data/idle" | summarise)
for state in "${states[@]}"; do
  w=$(awk -F'\t' -v s="$state" '$1 == s { printf "%.1f (%.1f-%.1f)", $2, $4, $5 }' <<<"$wakeups")
  c=$(awk -F'\t' -v s="$state" '$1 == s { printf "%.3f (%.3f-%.3f)", $2, $4, $5 }' <<<"$cpu")
  echo "| $state | $w | $c |"
done

echo
echo "Waiting for a key, by thread: wake-ups per second / CPU % of one core (medians over runs):"
echo
header="| thread |"
rule="|---|"
for state in "${states[@]}"; do
  header+=" $state |"
  rule+="---|"
done
echo "$header"
echo "$rule"
by_thread_w=$(awk -F'\t' -v OFS='\t' '$2 != "whole process" { print $2 "|" $1, $3 }' "$data/idle" | summarise)
by_thread_c=$(awk -F'\t' -v OFS='\t' '$2 != "whole process" { print $2 "|" $1, $4 }' "$data/idle" | summarise)
# In the order the threads were created (the snapshots list them by TID).
threads=$(awk -F'\t' '$2 != "whole process" && !seen[$2]++ { print $2 }' "$data/idle")
while IFS= read -r thread; do
  line="| $thread |"
  for state in "${states[@]}"; do
    w=$(awk -F'\t' -v k="$thread|$state" '$1 == k { printf "%.1f", $2 }' <<<"$by_thread_w")
    c=$(awk -F'\t' -v k="$thread|$state" '$1 == k { printf "%.3f", $2 }' <<<"$by_thread_c")
    line+=" ${w:--} / ${c:--} |"
  done
  echo "$line"
done <<<"$threads"

echo
echo "Key press, start and memory:"
echo
echo "| figure | value |"
echo "|---|---|"
keys=$(cut -f1,3 "$data/keys" | summarise)
all_keys=$(awk -F'\t' -v OFS='\t' '{ sub(/^class [0-9], /, "", $1); print $1, $3 }' "$data/keys" | summarise)
for presentation in "${PRESENTATIONS[@]}"; do
  for class in 1 2 3 all; do
    if [ "$class" = all ]; then
      source=$all_keys key=$presentation label="all classes, $presentation"
    else
      source=$keys key="class $class, $presentation" label="class $class, $presentation"
    fi
    awk -F'\t' -v k="$key" -v l="$label" '$1 == k {
      printf "| key press -> changed pixels, %s | median %.1f ms, p90 %.1f ms (%d keys%s) |\n",
        l, $2, $3, $6, ($7 ? ", " $7 " without a change in 2 s" : "") }' <<<"$source"
  done
done
starts_summary=$(summarise <"$data/start")
memory_rss=$(cut -f1,2 "$data/memory" | summarise)
memory_anon=$(cut -f1,3 "$data/memory" | summarise)
for presentation in "${PRESENTATIONS[@]}"; do
  awk -F'\t' -v k="$presentation" '$1 == k {
    printf "| start -> menu'"'"'s final pixels, %s | median %.0f ms (%.0f-%.0f, %d starts%s) |\n",
      k, $2, $4, $5, $6, ($7 ? ", " $7 " timed out" : "") }' <<<"$starts_summary"
done
# Medians with min-max; the bare program's row (when measured) follows the game's, then the
# game's anonymous memory above it, medians against medians.
for key in "${PRESENTATIONS[@]}" "bare freeglut"; do
  rss=$(awk -F'\t' -v k="$key" '$1 == k { printf "%.1f MiB (%.1f-%.1f)", $2, $4, $5 }' \
    <<<"$memory_rss")
  anon=$(awk -F'\t' -v k="$key" '$1 == k { printf "%.1f MiB (%.1f-%.1f) anonymous; %d runs",
    $2, $4, $5, $6 }' <<<"$memory_anon")
  [ -n "$rss" ] || continue
  if [ "$key" = "bare freeglut" ]; then
    label="resident memory of the bare toolkit program, full screen (tools/x11/bare_freeglut)"
  else
    label="resident memory in the menu, $key"
  fi
  echo "| $label | $rss, $anon |"
done
awk -F'\t' '$1 == "full screen" { game = $2 } $1 == "bare freeglut" { bare = $2 }
  END { if (game != "" && bare != "")
    printf "| anonymous memory of the game above the bare program, full screen | %+.1f MiB |\n",
      game - bare }' <<<"$memory_anon"
}

if [ -n "${VOST_BENCH_REPORT:-}" ]; then
  data=$VOST_BENCH_REPORT
  report
  exit 0
fi
data=${VOST_BENCH_KEEP:-$(mktemp -d)}
mkdir -p "$data"
trap '[ -z "$GAME_PID" ] || kill -9 "$GAME_PID" 2>/dev/null
  [ -z "$BARE_PID" ] || kill -9 "$BARE_PID" 2>/dev/null
  [ -n "${VOST_BENCH_KEEP:-}" ] || rm -rf "$data"' EXIT
measure_all
report
[ -z "${VOST_BENCH_KEEP:-}" ] || echo "raw samples in $data"
exit 0
