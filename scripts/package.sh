#!/usr/bin/env bash
# Builds the game's Debian package: a release build with Debian's hardening flags, then cpack.
#
#   scripts/package.sh [BUILD_DIR]      (default build/package)
#
# Installs missing Debian packages first (as scripts/install-deps.sh package), builds the game
# without tests and benchmarks, and leaves BUILD_DIR/vostrandelimerix_*.deb; the last line
# printed is its path. Install it with
#   sudo apt install ./build/package/vostrandelimerix_*.deb
# VOST_JOBS sets the build's parallelism (default: the number of cores); VOST_WERROR=ON makes
# a compiler warning an error (the test command sets it).
#
# The package is reproducible: the same commit gives the same bytes, whatever the source and
# build folders, the time and the umask. The time stamps inside it are the time of the
# changelog's latest entry (SOURCE_DATE_EPOCH), and the build folders are mapped out of the
# executable (-ffile-prefix-map); tests/package/reproducible_test.sh checks it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build/package}
jobs=${VOST_JOBS:-$(nproc)}

bash "$root/scripts/install-deps.sh" package
# Folders that the install creates on its way get their modes from the umask: the usual ones,
# whatever the caller's.
umask 022
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$root/packaging/changelog" -S Timestamp)
export SOURCE_DATE_EPOCH
# Debian's compiler and linker flags for packages: fortified functions, stack protector,
# read-only relocations, immediate binding. Run in the source folder, dpkg-buildflags maps that
# folder to "." in file names; the build folder becomes "build" (GCC uses the last map that fits).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cd "$root"
prefix_map="-ffile-prefix-map=$root=. -ffile-prefix-map=$dir=build"
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOST_WINDOW=ON \
  -DVOST_WERROR="${VOST_WERROR:-OFF}" -DBUILD_TESTING=OFF \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  -DCMAKE_CXX_FLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS) $prefix_map" \
  -DCMAKE_C_FLAGS="$cppflags $(dpkg-buildflags --get CFLAGS) $prefix_map" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$dir" -j "$jobs"
rm -f "$dir"/vostrandelimerix_*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/vostrandelimerix_*.deb
