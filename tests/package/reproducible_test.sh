# Builds the Debian package a second time from a copy of the sources, in other folders, later and
# under another umask, and fails unless the second package is byte for byte the first.
#
#   reproducible_test.sh BUILD_DIR     (a folder where scripts/package.sh has made the package)
#
# On a difference it names the archive members and files that differ and keeps the second build
# for a closer look (diffoscope, if installed, shows everything).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
# shellcheck source=/dev/null
. "$build/package-facts.sh"
first="$build/vostrandelimerix_${version}_$(dpkg --print-architecture).deb"
[ -f "$first" ] || { echo "FAIL: no package at $first"; exit 1; }

work=$(mktemp -d /tmp/vost-reproducible-XXXXXX)
mkdir "$work/sources"
# The sources as a checkout holds them: tracked and new files, nothing ignored (no builds).
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$root" ls-files -z --cached --others --exclude-standard |
    tar -C "$root" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$work/sources" -xf -
else
  tar -C "$root" --exclude='./build*' -cf - . | tar -C "$work/sources" -xf -
fi

if ! (umask 077 && bash "$work/sources/scripts/package.sh" "$work/build") >"$work/build.log" 2>&1
then
  tail -n 40 "$work/build.log"
  echo "FAIL: the second package build failed (log: $work/build.log)"
  exit 1
fi
second="$work/build/$(basename "$first")"

if cmp -s "$first" "$second"; then
  rm -rf "$work"
  echo "PASS: $(basename "$first") built twice (other folders, later, umask 077): identical bytes"
  exit 0
fi

echo "FAIL: two builds of $(basename "$first") differ: $first $second"
for side in first second; do
  mkdir -p "$work/$side" && (cd "$work/$side" && ar x "${!side}")
done
for member in $(ar t "$first"); do
  cmp -s "$work/first/$member" "$work/second/$member" && continue
  echo "  $member differs"
  case $member in
    *.tar*)
      for side in first second; do
        mkdir -p "$work/$side/${member%%.*}"
        tar -C "$work/$side/${member%%.*}" -xf "$work/$side/$member"
        tar -tvf "$work/$side/$member" >"$work/$side/$member.list"
      done
      diff "$work/first/$member.list" "$work/second/$member.list" | sed 's/^/    /'
      diff -rq "$work/first/${member%%.*}" "$work/second/${member%%.*}" | sed 's/^/    /'
      ;;
  esac
done
command -v diffoscope >/dev/null && echo "  (diffoscope $first $second shows every difference)"
exit 1
