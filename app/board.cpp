// The board picture: screen mode and colours of the display class, the 8 x 8 board with grid and
// frame, the rank digits and file letters, and the prompt line.
//
// Board geometry, with the origin X = 3, Y = 21: the playing area runs from (98, 42) to
// (234, 178) with grid lines every 17 pixels, so square (c, r) has its 16 x 16 inside at
// (82 + 17c, 26 + 17r)..(97 + 17c, 41 + 17r). The frame is one pixel outside the playing area.
#include "app/drawing.h"
#include "app/printing.h"
#include "app/procedures.h"
#include "app/state.h"
#include "app/statement.h"
#include "runtime/screen/color.h"
#include "runtime/screen/image.h"
#include "runtime/screen/text.h"

namespace {

// SCREEN mode with nothing else given.
void select_screen_mode(int32_t mode) { zqg_screen(mode, 0, 0, 0, 0, screen_mode_given); }

// Board colours and origin of one display class, one IF block starting at first_line.
void set_board_colours(int16_t display_class, int16_t background, int16_t grid, int16_t squares,
                       int16_t frame, uint32_t first_line) {
  if (!branch(VID == display_class, first_line)) return;
  C1 = background;
  check_statement(first_line + 1);
  C2 = grid;
  check_statement(first_line + 2);
  C3 = squares;
  check_statement(first_line + 3);
  C4 = frame;
  check_statement(first_line + 4);
  X = 3;
  check_statement(first_line + 5);
  Y = 21;
  check_statement(first_line + 6);
}

// The nine vertical and nine horizontal grid lines in colour.
void draw_grid(uint32_t colour, uint32_t first_line) {
  counted_loop(INDEX, X + 95, X + 231, 17, first_line, [&] {
    draw_line(INDEX, Y + 21, INDEX, Y + 157, colour, stroke::line);
    check_statement(first_line + 1);
    return loop_step::next;
  });
  counted_loop(INDEX, Y + 21, Y + 157, 17, first_line + 3, [&] {
    draw_line(X + 95, INDEX, X + 231, INDEX, colour, stroke::line);
    check_statement(first_line + 4);
    return loop_step::next;
  });
}

// X = x: Y = y: glyph, all on one line.
void draw_label(int16_t x, int16_t y, void (*glyph)(), uint32_t line) {
  X = x;
  check_statement(line);
  Y = y;
  check_statement(line);
  glyph();
  check_statement(line);
}

}  // namespace

void SUB_CHESSBOARD() {
  procedure_activation activation;

  // Screen mode of the display class; class 1 also writes the colour-select port, which the
  // emulated adapter ignores.
  if (branch(VID == 1, 114)) {
    select_screen_mode(1);
    check_statement(115);
    sub_out(984, 46);
    check_statement(116);
  }
  if (branch(VID == 3, 118)) {
    select_screen_mode(13);
    check_statement(119);
  }
  if (branch(VID == 5, 121)) {
    select_screen_mode(1);
    check_statement(122);
  }

  set_board_colours(1, 2, 0, 1, 3, 125);
  set_board_colours(3, 6, 0, 3, 7, 149);
  set_board_colours(5, 0, 0, 1, 1, 173);

  // Classes 1 and 3: filled squares, the top-left one (c + r even) in C3, then grid and frame.
  if (branch(VID == 1 || VID == 3, 182)) {
    draw_line(X + 95, Y + 21, X + 231, Y + 157, static_cast<uint32_t>(C1), stroke::fill);
    check_statement(183);
    counted_loop(ROW, Y + 123, Y + 21, -34, 184, [] {
      counted_loop(COL, X + 197, X + 95, -34, 185, [] {
        draw_line(COL, ROW, COL + 17, ROW + 17, static_cast<uint32_t>(C3), stroke::fill);
        check_statement(186);
        draw_line(COL + 17, ROW + 17, COL + 34, ROW + 34, static_cast<uint32_t>(C3), stroke::fill);
        check_statement(187);
        return loop_step::next;
      });
      return loop_step::next;
    });
    draw_grid(static_cast<uint32_t>(C2), 190);
    draw_line(X + 94, Y + 20, X + 232, Y + 158, static_cast<uint32_t>(C4), stroke::outline);
    check_statement(196);
  }

  // Class 5: an outline board with its grid, no filled squares.
  if (branch(VID == 5, 199)) {
    draw_line(X + 95, Y + 21, X + 231, Y + 157, static_cast<uint32_t>(C3), stroke::outline);
    check_statement(200);
    draw_grid(static_cast<uint32_t>(C3), 201);
    draw_line(X + 94, Y + 20, X + 232, Y + 158, static_cast<uint32_t>(C4), stroke::outline);
    check_statement(207);
  }

  // Labels: rank digits 8..1 down the left, file letters A..H along the bottom.
  set_colour_for(1, 3, 210);
  set_colour_for(3, 8, 211);
  set_colour_for(5, 1, 212);
  draw_label(83, 45, SUB_NUMBER8, 213);
  draw_label(83, 62, SUB_NUMBER7, 214);
  draw_label(83, 79, SUB_NUMBER6, 215);
  draw_label(83, 96, SUB_NUMBER5, 216);
  draw_label(83, 113, SUB_NUMBER4, 217);
  draw_label(83, 130, SUB_NUMBER3, 218);
  draw_label(83, 147, SUB_NUMBER2, 219);
  draw_label(83, 164, SUB_NUMBER1, 220);
  draw_label(101, 182, SUB_NUMBERA, 221);
  draw_label(118, 182, SUB_NUMBERB, 222);
  draw_label(135, 182, SUB_NUMBERC, 223);
  draw_label(152, 182, SUB_NUMBERD, 224);
  draw_label(169, 182, SUB_NUMBERE, 225);
  draw_label(186, 182, SUB_NUMBERF, 226);
  draw_label(203, 182, SUB_NUMBERG, 227);
  draw_label(220, 182, SUB_NUMBERH, 228);

  zqg_sub_locate(2, 0, 0, 0, 0, locate_row);
  check_statement(229);
  print_line(activation.temporary_base(), "Select piece (1-5) and place (A-H, 1-8).");
  check_statement(229);

  // The colour of the cells the game loop draws next.
  set_colour_for(1, 3, 230);
  set_colour_for(3, 2, 231);
  set_colour_for(5, 1, 232);
}
