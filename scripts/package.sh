#!/usr/bin/env bash
# Builds the game's Debian package: a release build with Debian's hardening flags, then cpack.
#
#   scripts/package.sh [BUILD_DIR]      (default build/package)
#
# Installs missing Debian packages first (as scripts/install-deps.sh package), builds the game
# without tests and benchmarks, and leaves BUILD_DIR/vostrandelimerix_*.deb; the last line
# printed is its path. Install it with
#   sudo apt install ./build/package/vostrandelimerix_*.deb
# VOST_JOBS sets the build's parallelism (default: the number of cores).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build/package}
jobs=${VOST_JOBS:-$(nproc)}

bash "$root/scripts/install-deps.sh" package

# Debian's compiler and linker flags for packages: fortified functions, stack protector,
# read-only relocations, immediate binding.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOST_WINDOW=ON \
  -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$dir" -j "$jobs"
rm -f "$dir"/vostrandelimerix_*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/vostrandelimerix_*.deb
