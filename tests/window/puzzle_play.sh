# Playing whole puzzles in the real window (sourced by tests/window/puzzle_*_test.sh after
# lib.sh). The player's eyes are screenshots of the window: each is reduced to the 320 x 200
# page it shows (one sample in the middle of every scaled page pixel) and read with awk.
#
#   play_class MENU_KEY       plays the whole scenario for one display class (see below)
#
# Geometry read from the page: square (c, r) of the board has its 16 x 16 inside at
# (82 + 17c, 26 + 17r); a piece on it is a 14 x 14 pictogram at (83 + 17c, 27 + 17r); a count is
# a 10 x 10 glyph at (85 + 17c, 29 + 17r); text row n covers page rows 8 (n - 1) to 8n - 1.

WORK_DIR=$(mktemp -d)
trap 'keep=$?; rm -rf "$WORK_DIR"; (exit $keep); cleanup_game' EXIT

# The five pictograms, rows from the top, '#' drawn: king, queen, bishop, knight, rook.
PICTOGRAMS='#.....##.....#|##...####...##|###.######.###|##############|..##########..|..##########..|....######....|....######....|....######....|....######....|..##########..|..##########..|##############|##############
#..#..##..#..#|##############|.############.|..##########..|...########...|....######....|.....####.....|.....####.....|....######....|....######....|..##########..|..##########..|##############|##############
......##......|.....####.....|....######....|....######....|....######....|....######....|....######....|....######....|.....####.....|.....####.....|..##########..|..##########..|##############|##############
....######....|...########...|..##########..|.############.|........######|........######|.......######.|......######..|.....######...|....######....|..##########..|..##########..|##############|##############
##..##..##..##|##..##..##..##|##..##..##..##|##..##..##..##|##############|##############|..##########..|..##########..|....######....|....######....|..##########..|..##########..|##############|##############'

CONGRATULATION='   C o n g r a t u l a t i o n  ! ! !   '
INACCURACY=' I n a c c u r a c y   a d m i t t e d .'
PROMPT='Select piece (1-5) and place (A-H, 1-8).'

# Captures the window into $WORK_DIR/page.txt: 200 lines of 320 colours (RRGGBB). The PPM is
# sampled with perl (part of every Debian system), which reads only the rows it needs.
capture_page() {
  wait_game_window_mapped
  "$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW" "$WORK_DIR/window.ppm" >/dev/null ||
    fail "cannot capture the window"
  perl -e '
    open(my $in, "<:raw", $ARGV[0]) or die;
    local $/ = "\n";
    my $magic = <$in>; my $size = <$in>; my $max = <$in>;
    my ($w, $h) = split(" ", $size);
    my $start = tell($in);
    for my $py (0 .. 199) {
      my $y = int(($py + 0.5) * $h / 200);
      seek($in, $start + $y * $w * 3, 0);
      read($in, my $row, $w * 3);
      print join(" ", map { unpack("H6", substr($row, 3 * int(($_ + 0.5) * $w / 320), 3)) } 0 .. 319), "\n";
    }' "$WORK_DIR/window.ppm" >"$WORK_DIR/page.txt"
  [ "$(wc -l <"$WORK_DIR/page.txt")" -eq 200 ] || fail "captured page has the wrong size"
}

# Runs the awk program text (which defines analyse()) over the captured page, with any further
# arguments passed to awk (-v name=value); analyse() sees p[x, y], the colour of page pixel x, y.
read_page() {
  local program=$1
  shift
  awk "$@" "$program"'
    { for (x = 1; x <= NF; ++x) p[x - 1, NR - 1] = $x }
    END { analyse() }' "$WORK_DIR/page.txt"
}

# Which cells of text row n hold something: a line of 40 "#" (non-black) or "." (black).
text_row_cells() {
  read_page '
    function analyse(   column, x, y, used, line) {
      for (column = 0; column < 40; ++column) {
        used = 0
        for (y = 8 * (row - 1); y < 8 * row; ++y)
          for (x = 8 * column; x < 8 * column + 8; ++x)
            if (p[x, y] != "000000") used = 1
        line = line (used ? "#" : ".")
      }
      print line
    }' -v row="$1"
}

# The cell pattern a text leaves on a row.
cells_of() { printf '%s' "$1" | sed 's/[^ ]/#/g; s/ /./g'; }

# The pieces drawn on the board, one line "PIECE FILE ROW" each, found by their shapes: in each
# square, the colour of the pedestal's corner pixel must form exactly one of the pictograms.
pieces_on_board() {
  read_page '
    function analyse(   n, c, r, ox, oy, colour, dx, dy, mask, rows, piece) {
      split(pictures, pieces, "\n")
      for (n = 1; n <= 5; ++n) {
        split(pieces[n], rows, "|")
        picture[n] = ""
        for (dy = 1; dy <= 14; ++dy) picture[n] = picture[n] rows[dy]
      }
      for (c = 1; c <= 8; ++c)
        for (r = 1; r <= 8; ++r) {
          ox = 83 + 17 * c; oy = 27 + 17 * r
          colour = p[ox, oy + 13]
          if (colour == "000000") continue
          mask = ""
          for (dy = 0; dy < 14; ++dy)
            for (dx = 0; dx < 14; ++dx) mask = mask (p[ox + dx, oy + dy] == colour ? "#" : ".")
          for (piece = 1; piece <= 5; ++piece)
            if (mask == picture[piece]) print piece, c, r
        }
    }' -v pictures="$PICTOGRAMS"
}

# "yes" when every square shows a count: its glyph area holds pixels of two colours.
counts_on_board() {
  read_page '
    function analyse(   c, r, x, y, first, mixed, all) {
      all = 1
      for (c = 1; c <= 8; ++c)
        for (r = 1; r <= 8; ++r) {
          first = p[85 + 17 * c, 29 + 17 * r]; mixed = 0
          for (y = 29 + 17 * r; y <= 38 + 17 * r; ++y)
            for (x = 85 + 17 * c; x <= 94 + 17 * c; ++x)
              if (p[x, y] != first) mixed = 1
          if (!mixed) all = 0
        }
      print (all ? "yes" : "no")
    }'
}

# The insides of all 64 squares as one line, to compare two pictures of the board.
squares_signature() {
  read_page '
    function analyse(   c, r, x, y, line) {
      for (c = 1; c <= 8; ++c)
        for (r = 1; r <= 8; ++r)
          for (y = 26 + 17 * r; y <= 41 + 17 * r; ++y)
            for (x = 82 + 17 * c; x <= 97 + 17 * c; ++x) line = line p[x, y]
      print line
    }' | md5sum | cut -d' ' -f1
}

# Polls the window until the shell condition holds (at most $2 seconds).
wait_for() {
  local deadline=$(($(ms_now) + $2 * 1000))
  while :; do
    capture_page
    if eval "$1"; then return 0; fi
    [ "$(ms_now)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# xdotool warns about the focus on a server without a window manager; its status still counts,
# and on a failure its messages are shown.
press_keys() {
  xdotool key --window "$GAME_WINDOW" --delay 40 "$@" 2>"$WORK_DIR/xdotool.err" ||
    fail "xdotool could not send keys: $(grep -v -i focus "$WORK_DIR/xdotool.err" | head -3)"
}

# The menu's top line fills columns 6 to 36 of text row 2.
menu_shown() { [ "$(text_row_cells 2)" = ".....###############################...." ]; }
board_ready() { [ "$(text_row_cells 2)" = "$(cells_of "$PROMPT")" ] && [ "$(counts_on_board)" = yes ]; }
row4_shows() { [ "$(text_row_cells 4)" = "$(cells_of "$1")" ]; }
row4_empty() { [ "$(text_row_cells 4)" = "$(cells_of "$(printf '%40s' '')")" ]; }
five_pieces_found() { [ "$(pieces_on_board | awk '{ print $1 }' | sort -u | wc -l)" -eq 5 ]; }

# The keys that place each piece where the listed placement ("PIECE FILE ROW" lines) says.
placement_keys() { sort -n | awk '{ printf "%d %c %d ", $1, 96 + $2, 9 - $3 }'; }

# Reveals the hidden pieces with Enter and reads them off the board into $WORK_DIR/hidden.
reveal_hidden_pieces() {
  press_keys Return
  wait_for five_pieces_found 10 || fail "Enter did not show five pieces"
  pieces_on_board | sort -n >"$WORK_DIR/hidden"
  [ "$(wc -l <"$WORK_DIR/hidden")" -eq 5 ] || fail "more than five pieces on the board"
}

# Starts the game, chooses a display class and plays: an exact placement (congratulation, then a
# fresh board), a wrong one (inaccuracy, then the same counts again), then Esc (status 0).
play_class() {
  local menu_key=$1 screenshot=${2:-} before after
  start_game
  find_game_window Vostrandelimerix
  wait_for menu_shown 20 || fail "the menu did not appear"
  press_keys "$menu_key"
  wait_for board_ready 10 || fail "no board with counts after choosing class $menu_key"
  if [ -n "$screenshot" ]; then
    "$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW" "$screenshot" >/dev/null ||
      fail "cannot save the screenshot"
  fi
  before=$(squares_signature)

  # An exact placement.
  reveal_hidden_pieces
  # shellcheck disable=SC2046
  press_keys $(placement_keys <"$WORK_DIR/hidden")
  wait_for 'row4_shows "$CONGRATULATION"' 10 || fail "no congratulation after the exact placement"
  press_keys x
  wait_for 'row4_empty && board_ready' 10 || fail "no fresh board after the congratulation"
  [ -z "$(pieces_on_board)" ] || fail "pieces left on the fresh board"
  after=$(squares_signature)
  [ "$after" != "$before" ] || fail "the new puzzle shows the same counts as the solved one"

  # A wrong placement: king and queen swapped.
  reveal_hidden_pieces
  awk '$1 == 1 { k = $2 " " $3 } $1 == 2 { q = $2 " " $3 } { line[$1] = $0 }
       END { for (n = 1; n <= 5; ++n) print (n == 1 ? "1 " q : n == 2 ? "2 " k : line[n]) }' \
    "$WORK_DIR/hidden" >"$WORK_DIR/wrong"
  # shellcheck disable=SC2046
  press_keys $(placement_keys <"$WORK_DIR/wrong")
  wait_for 'row4_shows "$INACCURACY"' 10 || fail "no inaccuracy message after a wrong placement"
  press_keys x
  wait_for 'row4_empty && board_ready' 10 || fail "the board did not come back after the inaccuracy"
  [ -z "$(pieces_on_board)" ] || fail "pieces left on the board after the inaccuracy"
  [ "$(squares_signature)" = "$after" ] || fail "the counts changed after a wrong placement"

  press_final_key Escape
  wait_game_exit 10
  [ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after Esc"
}
