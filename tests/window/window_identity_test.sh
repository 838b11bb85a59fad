# The window as the desktop knows it: the class the desktop entry names (StartupWMClass), the
# game's icon in the sizes 16, 32, 48 and 64 (the 64 x 64 one pixel for pixel the project's
# icon), and an icon name that is the title, also after the title changes.
. "$(dirname "$0")/lib.sh"

# A property of the game's window as xprop prints it after "NAME = " (format given by $2).
window_property() {
  xprop -id "$GAME_WINDOW" -notype ${2:+-f "$1" "$2"} "$1" 2>/dev/null | sed -n "s/^$1 = //p"
}

# The icon name (both properties) must be the window's title.
expect_icon_name_is_title() {
  local title icon net_icon
  title=$(window_property WM_NAME)
  icon=$(window_property WM_ICON_NAME)
  net_icon=$(window_property _NET_WM_ICON_NAME)
  [ -n "$title" ] || fail "the window has no title"
  [ "$icon" = "$title" ] || fail "WM_ICON_NAME is $icon, the title $title"
  [ "$net_icon" = "$title" ] || fail "_NET_WM_ICON_NAME is $net_icon, the title $title"
}

start_game --windowed --seed=1234
find_game_window Vostrandelimerix

class=$(window_property WM_CLASS)
[ "$class" = '"vostrandelimerix", "Vostrandelimerix"' ] || fail "WM_CLASS is $class"
entry_class=$(sed -n 's/^StartupWMClass=//p' "$VOST_SOURCE_DIR/data/vostrandelimerix.desktop")
[ "$class" = "\"vostrandelimerix\", \"$entry_class\"" ] ||
  fail "the desktop entry names the class '$entry_class', the window $class"

# _NET_WM_ICON: per image its width, its height and width x height pixels, one after the other.
icon_items=$(mktemp)
trap 'keep=$?; rm -f "$icon_items"; (exit $keep); cleanup_game' EXIT
window_property _NET_WM_ICON 32c | tr -d ' ' | tr ',' '\n' >"$icon_items"
sizes=$(awk '
  skip > 0 { --skip; next }
  width == "" { width = $1; next }
  { sizes = sizes (sizes == "" ? "" : " ") width "x" $1; skip = width * $1; width = "" }
  END { if (skip > 0 || width != "") sizes = sizes " (cut short)"; print sizes }' "$icon_items")
[ "$sizes" = "16x16 32x32 48x48 64x64" ] || fail "the icon's sizes are: $sizes"
# The last 4096 items are the 64 x 64 image: ARGB of the project's icon, row by row.
expected=$(/usr/bin/convert "$VOST_SOURCE_DIR/data/vostrandelimerix.png" -depth 8 rgba:- |
  od -An -v -tu1 | tr -s ' ' '\n' | grep . |
  awk '{ c[NR % 4] = $1 }
    NR % 4 == 0 { printf "%.0f\n", c[0] * 16777216 + c[1] * 65536 + c[2] * 256 + c[3] }' | md5sum)
[ "$(tail -n 4096 "$icon_items" | md5sum)" = "$expected" ] ||
  fail "the 64 x 64 icon is not data/vostrandelimerix.png"

expect_icon_name_is_title

# Choosing a display class starts a puzzle, whose code the title then names.
xdotool key --window "$GAME_WINDOW" 1 2>/dev/null || fail "xdotool could not send 1"
deadline=$(($(ms_now) + 20000))
until [[ "$(window_property WM_NAME)" == '"Vostrandelimerix - puzzle '* ]]; do
  [ "$(ms_now)" -lt "$deadline" ] || fail "the title did not name the puzzle"
  sleep 0.05
done
expect_icon_name_is_title

press_final_key Escape
wait_game_exit 5
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after Esc"
echo "PASS: class, icon in four sizes, icon name following the title"
