// The piece pictograms: solid 14 x 14 shapes from (X, Y) in colour C, drawn over whatever is
// there (callers clear a square first). All five stand on the same two-step pedestal.
#include "app/drawing.h"
#include "app/procedures.h"

namespace {

constexpr segment F(int dx1, int dy1, int dx2, int dy2) { return fill_segment(dx1, dy1, dx2, dy2); }
constexpr segment P(int dx, int dy) { return point_segment(dx, dy); }

constexpr segment king[] = {F(0, 12, 13, 13), F(2, 10, 11, 11), F(4, 6, 9, 9),   F(2, 4, 11, 5),
                            F(0, 3, 13, 3),   F(0, 2, 2, 2),    F(4, 2, 9, 2),   F(11, 2, 13, 2),
                            F(0, 1, 1, 1),    F(5, 1, 8, 1),    F(12, 1, 13, 1), F(6, 0, 7, 0),
                            P(0, 0),          P(13, 0)};
constexpr segment queen[] = {F(0, 12, 13, 13), F(2, 10, 11, 11), F(4, 8, 9, 9),  F(5, 6, 8, 7),
                             F(4, 5, 9, 5),    F(3, 4, 10, 4),   F(2, 3, 11, 3), F(1, 2, 12, 2),
                             F(0, 1, 13, 1),   F(6, 0, 7, 0),    P(0, 0),        P(3, 0),
                             P(10, 0),         P(13, 0)};
constexpr segment bishop[] = {F(0, 12, 13, 13), F(2, 10, 11, 11), F(4, 2, 9, 7), F(5, 1, 8, 9),
                              F(6, 0, 7, 0)};
constexpr segment knight[] = {F(0, 12, 13, 13), F(2, 10, 11, 11), F(4, 9, 9, 9),  F(5, 8, 10, 8),
                              F(6, 7, 11, 7),   F(7, 6, 12, 6),   F(8, 4, 13, 5), F(1, 3, 12, 3),
                              F(2, 2, 11, 2),   F(3, 1, 10, 1),   F(4, 0, 9, 0)};
constexpr segment rook[] = {F(0, 12, 13, 13), F(2, 10, 11, 11), F(4, 8, 9, 9),
                            F(2, 6, 11, 7),   F(0, 4, 13, 5),   F(0, 0, 1, 3),
                            F(4, 0, 5, 3),    F(8, 0, 9, 3),    F(12, 0, 13, 3)};

}  // namespace

void SUB_KING() { draw_shape(king, 862); }
void SUB_QUEEN() { draw_shape(queen, 879); }
void SUB_BISHOP() { draw_shape(bishop, 896); }
void SUB_KNIGHT() { draw_shape(knight, 904); }
void SUB_ROOK() { draw_shape(rook, 918); }
