// The cell and the label glyphs.
//
// A glyph draws one character inside the 10 x 10 pixels (X+1, Y+1)..(X+10, Y+10) from bars and
// lines; row Y and column X stay untouched. An outline only one or two pixels thick fills its
// whole rectangle, so most outlines below are solid bars; the two of "0" are hollow.
#include "app/drawing.h"
#include "app/procedures.h"
#include "app/state.h"
#include "app/statement.h"

namespace {

constexpr segment B(int dx1, int dy1, int dx2, int dy2) {
  return outline_segment(dx1, dy1, dx2, dy2);
}
constexpr segment L(int dx1, int dy1, int dx2, int dy2) { return line_segment(dx1, dy1, dx2, dy2); }

constexpr segment glyph_0[] = {B(2, 1, 9, 10), B(1, 2, 10, 9)};
constexpr segment glyph_1[] = {B(1, 9, 10, 10), B(5, 1, 6, 8), L(1, 4, 4, 1), L(1, 5, 4, 2),
                               L(1, 6, 4, 3)};
constexpr segment glyph_2[] = {B(1, 1, 10, 2), B(1, 5, 10, 6), B(1, 9, 10, 10), B(9, 3, 10, 4),
                               B(1, 7, 2, 8)};
constexpr segment glyph_3[] = {B(1, 1, 9, 2), B(1, 9, 9, 10), B(9, 2, 10, 4), B(9, 7, 10, 9),
                               B(5, 5, 9, 6)};
constexpr segment glyph_4[] = {B(1, 1, 2, 6), B(9, 1, 10, 10), B(3, 5, 8, 6)};
constexpr segment glyph_5[] = {B(1, 1, 10, 2), B(1, 5, 10, 6), B(1, 9, 10, 10), B(1, 3, 2, 4),
                               B(9, 7, 10, 8)};
constexpr segment glyph_6[] = {B(1, 1, 10, 2), B(1, 5, 10, 6), B(1, 9, 10, 10), B(1, 3, 2, 8),
                               B(9, 7, 10, 8)};
constexpr segment glyph_7[] = {B(1, 1, 10, 2), L(1, 10, 8, 3), L(2, 10, 9, 3), L(3, 10, 10, 3)};
constexpr segment glyph_8[] = {B(2, 1, 9, 2), B(2, 5, 9, 6),  B(2, 9, 9, 10), B(1, 2, 2, 4),
                               B(1, 7, 2, 9), B(9, 2, 10, 4), B(9, 7, 10, 9)};
constexpr segment glyph_A[] = {B(1, 2, 2, 10), B(9, 2, 10, 10), B(2, 1, 9, 2), B(3, 6, 8, 7)};
constexpr segment glyph_B[] = {B(1, 1, 9, 2), B(1, 5, 9, 6),  B(1, 9, 9, 10),
                               B(1, 3, 2, 8), B(9, 2, 10, 4), B(9, 7, 10, 9)};
constexpr segment glyph_C[] = {B(2, 1, 10, 2), B(2, 9, 10, 10), B(1, 2, 2, 9)};
constexpr segment glyph_D[] = {B(1, 1, 9, 2), B(1, 9, 9, 10), B(1, 3, 2, 8), B(9, 2, 10, 9)};
constexpr segment glyph_E[] = {B(1, 1, 10, 2), B(1, 9, 10, 10), B(3, 5, 6, 6), B(1, 3, 2, 8)};
constexpr segment glyph_F[] = {B(1, 1, 10, 2), B(3, 5, 6, 6), B(1, 3, 2, 10)};
constexpr segment glyph_G[] = {B(1, 1, 10, 2), B(1, 9, 10, 10), B(1, 3, 2, 8), B(9, 5, 10, 8),
                               B(6, 5, 8, 6)};
constexpr segment glyph_H[] = {B(1, 1, 2, 10), B(9, 1, 10, 10), B(3, 5, 8, 6)};

}  // namespace

// An emptied 16 x 16 box at (X, Y) with a one-pixel outline in C around it (18 x 18 in all).
void SUB_CELLS() {
  procedure_activation activation;
  draw_line(X, Y, X + 15, Y + 15, 0, stroke::fill);
  check_statement(109);
  draw_line(X - 1, Y - 1, X + 16, Y + 16, static_cast<uint32_t>(C), stroke::outline);
  check_statement(110);
}

void SUB_NUMBER1() { draw_shape(glyph_1, 718); }
void SUB_NUMBER2() { draw_shape(glyph_2, 726); }
void SUB_NUMBER3() { draw_shape(glyph_3, 734); }
void SUB_NUMBER4() { draw_shape(glyph_4, 742); }
void SUB_NUMBER5() { draw_shape(glyph_5, 748); }
void SUB_NUMBER6() { draw_shape(glyph_6, 756); }
void SUB_NUMBER7() { draw_shape(glyph_7, 764); }
void SUB_NUMBER8() { draw_shape(glyph_8, 771); }
void SUB_NUMBER0() { draw_shape(glyph_0, 789); }
void SUB_NUMBERA() { draw_shape(glyph_A, 794); }
void SUB_NUMBERB() { draw_shape(glyph_B, 801); }
void SUB_NUMBERC() { draw_shape(glyph_C, 810); }
void SUB_NUMBERD() { draw_shape(glyph_D, 816); }
void SUB_NUMBERE() { draw_shape(glyph_E, 823); }
void SUB_NUMBERF() { draw_shape(glyph_F, 830); }
void SUB_NUMBERG() { draw_shape(glyph_G, 836); }
void SUB_NUMBERH() { draw_shape(glyph_H, 844); }
