# Checks a Debian package of the game made by scripts/package.sh:
# - it holds the executable (stripped), the desktop entry, the icon in every hicolor size (PNG
#   files of that size), the AppStream metadata, the manual page in section 6 and the copyright
#   file and changelog, the compressed files compressed;
# - its control data names the package and version, and dependencies computed from the linked
#   libraries;
# - the changelog's latest entry is this version;
# - the packaged executable answers --version;
# - lintian reports no errors (warnings and notes are printed, not failed).
#
#   deb_test.sh PACKAGE.deb VERSION
set -u
deb=$1
version=$2
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
  usr/share/metainfo/example.vostrandelimerix.Vostrandelimerix.metainfo.xml
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

# lintian: errors fail, everything else is shown.
lintian --fail-on error --display-info "$deb" >"$work/lintian" 2>&1
lintian_status=$?
sed -n '/^[EWIP]: /p' "$work/lintian"
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors (status $lintian_status)"

[ "$failures" -eq 0 ] || exit 1
echo "PASS: $(basename "$deb"): files, icons, control data, changelog, lintian"
