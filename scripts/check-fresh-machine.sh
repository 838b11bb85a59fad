#!/usr/bin/env bash
# Tries the README's set-up commands as a newcomer meets them: each section in a fresh Debian 12
# (bookworm) made with debootstrap. For maintainers, before a release; the project's CI cannot run
# it (it needs root, mount and chroot, a Debian mirror and about an hour).
#
#   sudo scripts/check-fresh-machine.sh [WORK_DIR]      (default build/fresh-machine)
#
# One minimal system is bootstrapped (debootstrap --variant=minbase, plus sudo, which a desktop
# installation gives its first user) and each section runs in a copy of its own, as the user
# "player" who may use sudo, in a clone of the commit checked out here (HEAD; changes not
# committed are not part of it):
#   package  scripts/package.sh; sudo apt install ./build/package/vostrandelimerix_*.deb; the
#            game runs by name (--version, --help) and its manual page is installed;
#            sudo apt remove vostrandelimerix removes every file the package brought
#   play     scripts/play.sh --windowed on an Xvfb display of this machine: the game's window
#            appears, and Esc ends it with status 0
#   test     scripts/test.sh
# apt runs without questions (DEBIAN_FRONTEND=noninteractive, yes to its prompt), as a user who
# accepts the defaults. Prints one line per section, PASS or FAIL and the minutes it took; each
# section's output is in WORK_DIR/SECTION.log. A section that passed is removed, one that failed
# kept for a look inside (chroot WORK_DIR/SECTION). Exits non-zero when a section failed.
#
#   VOST_FRESH_SECTIONS="package play test"    the sections to run, in this order
#   VOST_FRESH_MIRROR=URL     the Debian mirror (default http://deb.debian.org/debian)
#   VOST_FRESH_BASE=DIR       a system bootstrapped before (a run leaves WORK_DIR/base) to copy
#                             instead of bootstrapping anew; it is never changed
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build/fresh-machine}
sections=${VOST_FRESH_SECTIONS:-package play test}
mirror=${VOST_FRESH_MIRROR:-http://deb.debian.org/debian}

[ "$(id -u)" -eq 0 ] || { echo "check-fresh-machine: run as root (sudo)" >&2; exit 2; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
commit=$(git -C "$root" rev-parse --short HEAD) || exit 1
echo "Checking commit $commit"
git -C "$root" diff --quiet HEAD 2>/dev/null ||
  echo "check-fresh-machine: changes not committed here are not checked (the check clones HEAD)"

# What this machine needs: debootstrap, and Xvfb and xdotool to play on a display.
missing=()
for tool in debootstrap:debootstrap Xvfb:xvfb xdotool:xdotool git:git; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -ne 0 ]; then
  apt-get update -q || exit 1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" || exit 1
fi

# Unmounts everything below a system folder and ends the processes running inside it.
release_system() {
  local dir=$1 pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$dir" ] && kill -9 "$pid" 2>/dev/null
  done
  grep -o " $dir/[^ ]*" /proc/mounts | sort -r | while read -r mount; do
    umount -l "$mount" 2>/dev/null
  done
}
# Removes a system folder, and only when nothing is mounted below it any more.
remove_system() {
  local dir=$1
  release_system "$dir"
  if grep -q " $dir/" /proc/mounts; then
    echo "check-fresh-machine: still mounted below $dir, not removed" >&2
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

base=${VOST_FRESH_BASE:-}
if [ -z "$base" ]; then
  base="$work/base"
  remove_system "$base" || exit 1
  echo "Bootstrapping Debian 12 into $base (a few minutes)"
  debootstrap --variant=minbase --include=sudo bookworm "$base" "$mirror" >"$work/base.log" 2>&1 ||
    { tail -n 20 "$work/base.log"; echo "check-fresh-machine: debootstrap failed" >&2; exit 1; }
fi

display_pid=
current=
cleanup() {
  [ -n "$display_pid" ] && kill "$display_pid" 2>/dev/null
  [ -n "$current" ] && release_system "$current"
}
trap cleanup EXIT

# Makes WORK_DIR/SECTION: a copy of the base with the user player and the sources.
prepare_system() {
  local dir=$1
  remove_system "$dir" || return 1
  cp -a "$base" "$dir"
  cp /etc/resolv.conf /etc/hosts "$dir/etc/"
  mount -t proc proc "$dir/proc"
  mount -t sysfs sysfs "$dir/sys"
  mount --rbind /dev "$dir/dev" && mount --make-rslave "$dir/dev"
  chroot "$dir" useradd -m -s /bin/bash player
  echo "player ALL=(ALL) NOPASSWD: ALL" >"$dir/etc/sudoers.d/player"
  git clone -q "$root" "$dir/home/player/vostrandelimerix"
  git -C "$dir/home/player/vostrandelimerix" checkout -q --detach "$commit"
  chroot "$dir" chown -R player:player /home/player/vostrandelimerix
}

# Runs a command line as player in the sources' folder, with a login shell's environment.
as_player() {
  local dir=$1
  shift
  chroot "$dir" runuser -u player -- env -i HOME=/home/player USER=player LOGNAME=player TERM=dumb \
    "$@"
}
player_shell() {
  local dir=$1
  shift
  as_player "$dir" bash -lc "cd ~/vostrandelimerix && $*"
}

section_package() {
  local dir=$1 files
  player_shell "$dir" 'scripts/package.sh' || return 1
  player_shell "$dir" 'yes | sudo DEBIAN_FRONTEND=noninteractive apt install \
    ./build/package/vostrandelimerix_*.deb' || return 1
  player_shell "$dir" 'cd && vostrandelimerix --version && vostrandelimerix --help >/dev/null' ||
    return 1
  [ -f "$dir/usr/share/man/man6/vostrandelimerix.6.gz" ] || { echo "no manual page"; return 1; }
  files=$(chroot "$dir" dpkg -L vostrandelimerix | while read -r f; do
    [ -f "$dir$f" ] && echo "$f"; done)
  echo "installed: $(echo "$files" | wc -l) files"
  player_shell "$dir" 'yes | sudo DEBIAN_FRONTEND=noninteractive apt remove vostrandelimerix' ||
    return 1
  local left=0 f
  for f in $files; do
    [ -e "$dir$f" ] && { echo "left behind after removal: $f"; left=1; }
  done
  return "$left"
}

section_play() {
  local dir=$1 number window= game status
  for number in $(seq 90 99); do [ -e "/tmp/.X11-unix/X$number" ] || break; done
  Xvfb ":$number" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  display_pid=$!
  mkdir -p "$dir/tmp/.X11-unix"
  mount --bind /tmp/.X11-unix "$dir/tmp/.X11-unix"
  player_shell "$dir" "DISPLAY=:$number scripts/play.sh --windowed" </dev/null &
  game=$!
  # The first build takes minutes; then the window comes.
  while kill -0 "$game" 2>/dev/null; do
    window=$(DISPLAY=":$number" xdotool search --name '^Vostrandelimerix$' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    sleep 1
  done
  if [ -z "$window" ]; then
    wait "$game"
    echo "the game ended (status $?) before its window appeared"
    kill "$display_pid"
    display_pid=
    return 1
  fi
  echo "window $window appeared; pressing Esc"
  sleep 2
  DISPLAY=":$number" xdotool key --window "$window" Escape
  for _ in $(seq 1 30); do kill -0 "$game" 2>/dev/null || break; sleep 1; done
  if kill -0 "$game" 2>/dev/null; then
    echo "the game did not end within 30 s of Esc"
    kill "$display_pid"
    display_pid=
    return 1
  fi
  wait "$game"
  status=$?
  kill "$display_pid"
  display_pid=
  echo "the game ended with status $status"
  [ "$status" -eq 0 ]
}

section_test() { player_shell "$1" 'scripts/test.sh'; }

failed=0
for section in $sections; do
  dir="$work/$section"
  started=$SECONDS
  current=$dir
  if prepare_system "$dir" >"$work/$section.log" 2>&1 &&
    "section_$section" "$dir" >>"$work/$section.log" 2>&1; then
    result=PASS
  else
    result=FAIL
    failed=1
  fi
  minutes=$(((SECONDS - started + 30) / 60))
  if [ "$result" = PASS ]; then
    remove_system "$dir"
  else
    release_system "$dir"
  fi
  current=
  echo "$result $section at $commit ($minutes min; log $work/$section.log)"
done
exit "$failed"
