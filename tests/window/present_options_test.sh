# The presentation options on today's screens, read from captures of the window:
#   --scale=integer   every page pixel is a block of equal size (5 x 5 on 1920 x 1080, 10 x 10 on
#                     3840 x 2160), centred, black all round;
#   --aspect=4:3      the picture has the 4:3 shape (within 1%), with integer and with sharp;
#   --window-scale=auto  on 3840 x 2160 a window of a whole multiple of the frame, at least 70%
#                     of the screen's height, each page pixel again an equal block.
# Each screen size is an X server of the test's own, with its own window manager in the openbox
# pass.
WINDOW_MANAGER_LATER=1
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/puzzle_play.sh"

start_screen() { start_x_server Xvfb -screen 0 "$1x24" -noreset -nolisten tcp; }

# Reads the capture $WORK_DIR/window.ppm and prints "LEFT TOP RIGHT BOTTOM BAD": the bounding box
# of pixels brighter than a quarter in any channel, and how many picture rows (or, with
# BLOCK_W > 0, pixels) differ from the first of their block of BLOCK_W x BLOCK_H pixels that
# starts at (X1, Y1); pixels outside the rectangle X1, Y1, W, H must be black.
inspect() {
  perl -e '
    my ($file, $x1, $y1, $w, $h, $bw, $bh) = @ARGV;
    open(my $in, "<:raw", $file) or die; local $/ = "\n";
    <$in>; my ($W, $H) = split(" ", scalar <$in>); <$in>;
    my ($l, $t, $r, $b, $bad) = ($W, $H, -1, -1, 0);
    my $row_start; my $black = "\0" x (3 * $W);
    for my $y (0 .. $H - 1) {
      read($in, my $row, 3 * $W);
      my $inside = $y >= $y1 && $y < $y1 + $h;
      if (!$inside) { ++$bad if $row ne $black; next }
      ++$bad if substr($row, 0, 3 * $x1) ne "\0" x (3 * $x1);
      ++$bad if substr($row, 3 * ($x1 + $w)) ne "\0" x (3 * ($W - $x1 - $w));
      $row_start = $row if ($y - $y1) % $bh == 0;
      ++$bad if $row ne $row_start;
      for my $x ($x1 .. $x1 + $w - 1) {
        my $p = substr($row, 3 * $x, 3);
        if ($bw > 0 && $p ne substr($row, 3 * ($x - ($x - $x1) % $bw), 3)) { ++$bad }
        if (grep { $_ > 64 } unpack("C3", $p)) {
          $l = $x if $x < $l; $r = $x if $x > $r; $t = $y if $y < $t; $b = $y if $y > $b;
        }
      }
    }
    print "$l $t $r $b $bad\n";' "$WORK_DIR/window.ppm" "$@"
}

capture() {
  "$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW" "$WORK_DIR/window.ppm" ||
    fail "cannot capture the window"
}

# Starts the game with the options and waits until its window has the size and shows the menu.
menu_in_window() {
  local size=$1
  shift
  start_game "$@"
  find_game_window Vostrandelimerix
  focus_game_window
  local deadline=$(($(ms_now) + 20000)) geometry
  while :; do
    # A window that a window manager is still reparenting may not be capturable yet: look again.
    geometry=$("$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW" "$WORK_DIR/window.ppm" 2>/dev/null) ||
      find_game_window Vostrandelimerix
    if [ "${geometry#* * }" = "${size/x/ }" ]; then
      sleep 0.5  # the menu follows the window's first picture within a few frames
      read -r l _ r _ _ < <(capture >/dev/null && inspect 0 0 "${size%x*}" "${size#*x}" 0 1)
      [ "$r" -gt "$l" ] && break
    fi
    [ "$(ms_now)" -lt "$deadline" ] || fail "$*: window '$geometry', not a ${size} menu"
    sleep 0.1
  done
  sleep 0.3  # a frame or two more at the final size
  capture >/dev/null
}

end_game() {
  press_final_key Escape
  wait_game_exit 10
  [ "$GAME_STATUS" -eq 0 ] || fail "$*: the game ended with status $GAME_STATUS"
}

# Checks equal blocks of n x n screen pixels for the 320 x 200 menu at (x1, y1).
expect_blocks() {
  local label=$1 x1=$2 y1=$3 n=$4 l t r b bad
  read -r l t r b bad < <(inspect "$x1" "$y1" $((320 * n)) $((200 * n)) "$n" "$n")
  [ "$bad" -eq 0 ] || fail "$label: $bad rows or pixels break the ${n}x$n blocks"
  [ "$r" -gt "$l" ] || fail "$label: no picture"
  echo "$label: ${n}x$n blocks at $x1,$y1, content $l,$t-$r,$b"
}

# The widest step between two colours along a row of the capture: how many pixels in a row each
# differ from both their neighbours. Sharp scaling blends only across the edge of an enlarged
# pixel (one or two screen pixels); smoothing the 320 x 200 frame straight onto the screen blends
# over the whole width of a page pixel.
widest_blend() {
  perl -e '
    open(my $in, "<:raw", $ARGV[0]) or die; local $/ = "\n";
    <$in>; my ($W, $H) = split(" ", scalar <$in>); <$in>;
    my $widest = 0;
    for my $y (0 .. $H - 1) {
      read($in, my $row, 3 * $W);
      my $run = 0;
      for my $x (1 .. $W - 2) {
        my $p = substr($row, 3 * $x, 3);
        if ($p ne substr($row, 3 * $x - 3, 3) && $p ne substr($row, 3 * $x + 3, 3)) {
          $widest = $run if ++$run > $widest;
        } else { $run = 0 }
      }
    }
    print "$widest\n";' "$WORK_DIR/window.ppm"
}

# The shape of the picture from the menu's extent, against the same menu with square pixels
# (whose shape is 320:200): the menu's own size in page pixels cancels out.
menu_extent() { inspect 0 0 "$1" "$2" 0 "$2" | awk '{ print $3 - $1 + 1, $4 - $2 + 1 }'; }

start_screen 1920x1080
menu_in_window 1920x1080 --scale=integer
expect_blocks "integer on 1920x1080" 160 40 5
read -r square_w square_h < <(menu_extent 1920 1080)
end_game integer

for scale in integer sharp; do
  menu_in_window 1920x1080 "--scale=$scale" --aspect=4:3
  read -r w h < <(menu_extent 1920 1080)
  awk -v scale="$scale" -v w="$w" -v h="$h" -v sw="$square_w" -v sh="$square_h" 'BEGIN {
    shape = 1.6 * (w / h) / (sw / sh)
    printf "%s 4:3: menu %dx%d, picture shape %.4f\n", scale, w, h, shape
    exit !(shape > 4 / 3 * 0.99 && shape < 4 / 3 * 1.01) }' ||
    fail "--scale=$scale --aspect=4:3: the picture is not 4:3"
  if [ "$scale" = sharp ]; then
    blend=$(widest_blend)
    [ "$blend" -le 2 ] || fail "sharp 4:3: blends $blend pixels wide, the picture is not sharp"
  fi
  end_game "$scale 4:3"
done

# Without fragment programs sharp scaling draws the whole-multiple enlargement.
MESA_EXTENSION_OVERRIDE=-GL_ARB_fragment_program menu_in_window 1920x1080 --scale=sharp --aspect=4:3
blend=$(widest_blend)
[ "$blend" -le 2 ] || fail "sharp 4:3 without fragment programs: blends $blend pixels wide"
end_game "sharp without fragment programs"

start_screen 3840x2160
menu_in_window 3840x2160 --scale=integer
expect_blocks "integer on 3840x2160" 320 80 10
end_game "integer 3840"

start_game --windowed --window-scale=auto
find_game_window Vostrandelimerix
focus_game_window
deadline=$(($(ms_now) + 20000))
until capture_page 2>/dev/null && menu_shown; do
  [ "$(ms_now)" -lt "$deadline" ] || fail "--window-scale=auto: no menu"
  sleep 0.1
done
read -r _ _ w h < <(capture)
n=$((h / 200))
[ $((w % 320)) -eq 0 ] && [ $((h % 200)) -eq 0 ] && [ $((w / 320)) -eq "$n" ] ||
  fail "--window-scale=auto: ${w}x$h is not a whole multiple of 320x200"
[ $((h * 100)) -ge $((2160 * 70)) ] || fail "--window-scale=auto: ${w}x$h is under 70% of 2160 rows"
expect_blocks "window-scale auto ${w}x$h" 0 0 "$n"
end_game "window-scale auto"
echo "PASS"
