#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
#
#   scripts/install-deps.sh play      what building and running the game needs
#   scripts/install-deps.sh package   that, plus what building the Debian package needs
#   scripts/install-deps.sh test      all that, plus the test, sanitizer, fuzzing, window-test and
#                                     package-check tools
#
# Uses apt-get directly when run as root and sudo apt-get otherwise. Does nothing (and needs no
# network) when every package is already installed.
set -euo pipefail

play_packages=(
  build-essential cmake ninja-build pkg-config
  freeglut3-dev libglew-dev libglu1-mesa-dev libx11-dev libxrandr-dev libpng-dev
  x11-utils  # xmessage shows the game's dialogs
)
package_packages=(
  dpkg-dev  # dpkg-shlibdeps computes the package's dependencies; dpkg-buildflags
  file      # CPack runs it to find the executables whose libraries become dependencies
)
test_packages=(
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev  # libFuzzer and the sanitizer runtimes
  clang-format-14           # the formatting check
  git  # the formatting and layer checks and the reproducibility check list the sources with it
  xvfb xauth xdotool imagemagick
  openbox wmctrl  # the window tests' second pass, under a window manager
  i3-wm  # a tiling window manager: the window keeps the tile it is given
  xserver-xephyr x11-xserver-utils  # a screen that changes size (Xephyr -resizeable, xrandr)
  libxext-dev libxtst-dev  # MIT-SHM reads and XTEST keys of the window benchmark's probe
  desktop-file-utils appstream lintian  # checks of the desktop entry, metadata and package
  locales  # locale sources: a number-text test compiles a decimal-comma locale with localedef
  # The browser build: emscripten (emcmake), GoogleTest's sources to build for it, node to run
  # its unit tests, and a headless browser for the page's tests.
  emscripten googletest nodejs chromium
)

case "${1:-test}" in
  play) wanted=("${play_packages[@]}") ;;
  package) wanted=("${play_packages[@]}" "${package_packages[@]}") ;;
  test) wanted=("${play_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [play|package|test]" >&2
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
  # sudo clears the environment: the front end is handed to apt-get through env.
  apt=(sudo env DEBIAN_FRONTEND=noninteractive apt-get)
else
  echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${apt[@]}" update -q
"${apt[@]}" install -y -q --no-install-recommends "${missing[@]}"
