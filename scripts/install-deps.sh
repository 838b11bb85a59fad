#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
#
#   scripts/install-deps.sh play   what building and running the game needs
#   scripts/install-deps.sh test   that, plus the test, sanitizer, fuzzing and window-test tools
#
# Uses apt-get directly when run as root and sudo apt-get otherwise. Does nothing (and needs no
# network) when every package is already installed.
set -euo pipefail

play_packages=(
  build-essential cmake ninja-build pkg-config
  freeglut3-dev libglew-dev libglu1-mesa-dev libx11-dev libpng-dev
  x11-utils  # xmessage shows the game's dialogs
)
test_packages=(
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev  # libFuzzer and the sanitizer runtimes
  clang-format-14           # the formatting check
  xvfb xauth xdotool imagemagick
)

case "${1:-test}" in
  play) wanted=("${play_packages[@]}") ;;
  test) wanted=("${play_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [play|test]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  apt=(apt-get)
elif command -v sudo >/dev/null; then
  apt=(sudo apt-get)
else
  echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${apt[@]}" update -q
"${apt[@]}" install -y -q --no-install-recommends "${missing[@]}"
