# Checks a Debian package of the game made by scripts/package.sh:
# - it holds the executable (stripped), the desktop entry, the icon in every hicolor size (PNG
#   files of that size), the AppStream metadata, the manual page in section 6 and the copyright
#   file and changelog, the compressed files compressed;
# - its control data names the package and version, and dependencies computed from the linked
#   libraries;
# - the changelog's latest entry is this version, and its date is the release date of the
#   AppStream metadata and the manual page;
# - the metadata and the control data name the identity the build was given (AppStream id, home
#   page, screenshot) and the changelog's maintainer; the copyright file is packaging/copyright;
# - the packaged executable answers --version;
# - lintian reports no errors (warnings and notes are printed, not failed).
#
#   deb_test.sh BUILD_DIR     (a folder where scripts/package.sh has made the package)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
# version, appstream_id, homepage, screenshot, release_date: as the build was configured.
# shellcheck source=/dev/null
. "$1/package-facts.sh"
deb="$1/vostrandelimerix_${version}_$(dpkg --print-architecture).deb"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

[ -f "$deb" ] || { echo "FAIL: no package at $deb"; exit 1; }
dpkg-deb -x "$deb" "$work/root" || { echo "FAIL: cannot unpack $deb"; exit 1; }

# Every file the package must hold.
expected=(
  usr/games/vostrandelimerix
  usr/share/applications/vostrandelimerix.desktop
  "usr/share/metainfo/$appstream_id.metainfo.xml"
  usr/share/man/man6/vostrandelimerix.6.gz
  usr/share/doc/vostrandelimerix/copyright
  usr/share/doc/vostrandelimerix/changelog.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/vostrandelimerix.png")
done
dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./||' >"$work/list"
for file in "${expected[@]}"; do
  grep -qx -- "$file" "$work/list" || fail "the package lacks $file"
done

# Icons: PNG files whose header gives the size of their folder.
for size in 16 32 48 64 128 256; do
  icon="$work/root/usr/share/icons/hicolor/${size}x${size}/apps/vostrandelimerix.png"
  [ -f "$icon" ] || continue
  read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$icon")
  width=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))
  height=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
  [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "${size}x${size} icon is not a PNG file"
  [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] ||
    fail "${size}x${size} icon is ${width}x$height"
done

for file in usr/share/man/man6/vostrandelimerix.6.gz usr/share/doc/vostrandelimerix/changelog.gz; do
  [ ! -f "$work/root/$file" ] || gzip -t "$work/root/$file" 2>/dev/null ||
    fail "$file is not a gzip file"
done

game="$work/root/usr/games/vostrandelimerix"
if [ -x "$game" ]; then
  readelf -S "$game" | grep -q '\.symtab' && fail "the executable is not stripped"
  [ "$(env -u DISPLAY "$game" --version)" = "vostrandelimerix $version" ] ||
    fail "the packaged executable does not answer --version"
else
  fail "no executable usr/games/vostrandelimerix"
fi

# Control data.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vostrandelimerix ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', expected $version"
[ "$(field Section)" = games ] || fail "Section is '$(field Section)'"
depends=$(field Depends)
for library in libc6 libstdc++6 libglut3.12 libglew2.2 libx11-6; do
  case ", $depends" in *", $library "* | *", $library,"* | *", $library") ;;
    *) fail "Depends lacks $library: $depends" ;;
  esac
done

zcat "$work/root/usr/share/doc/vostrandelimerix/changelog.gz" >"$work/changelog" 2>/dev/null
changelog_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version 2>/dev/null)
[ "$changelog_version" = "$version" ] ||
  fail "the changelog's latest entry is '$changelog_version', expected $version"

# One identity and one release date everywhere they are written.
metainfo="$work/root/usr/share/metainfo/$appstream_id.metainfo.xml"
# The day as written ("Mon, 07 Dec 2026 09:30:00 +0000" gives 2026-12-07), in no other zone.
changelog_day=$(dpkg-parsechangelog -l "$work/changelog" -S Date | cut -d' ' -f2-4)
changelog_date=$(date -d "$changelog_day" +%F)
[ "$release_date" = "$changelog_date" ] ||
  fail "the build's release date $release_date is not the changelog's $changelog_date"
for expected in "<id>$appstream_id</id>" "<url type=\"homepage\">$homepage</url>" \
  "<image>$screenshot</image>" "<release version=\"$version\" date=\"$release_date\"/>"; do
  grep -qF -- "$expected" "$metainfo" 2>/dev/null || fail "the metadata lacks $expected"
done
[ "$(field Homepage)" = "$homepage" ] || fail "Homepage is '$(field Homepage)', expected $homepage"
maintainer=$(dpkg-parsechangelog -l "$work/changelog" -S Maintainer)
[ "$(field Maintainer)" = "$maintainer" ] ||
  fail "Maintainer is '$(field Maintainer)', the changelog's '$maintainer'"
man_date=$(LC_ALL=C date -d "$release_date" '+%B %Y')
zcat "$work/root/usr/share/man/man6/vostrandelimerix.6.gz" 2>/dev/null | head -1 |
  grep -qF "\"$man_date\"" || fail "the manual page is not dated $man_date"
cmp -s "$work/root/usr/share/doc/vostrandelimerix/copyright" "$root/packaging/copyright" ||
  fail "the packaged copyright file is not packaging/copyright"

# lintian: errors fail, everything else is shown.
lintian --fail-on error --display-info "$deb" >"$work/lintian" 2>&1
lintian_status=$?
sed -n '/^[EWIP]: /p' "$work/lintian"
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors (status $lintian_status)"

[ "$failures" -eq 0 ] || exit 1
echo "PASS: $(basename "$deb"): files, icons, control data, changelog, identity and dates, lintian"
