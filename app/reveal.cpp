// Showing the hidden placement: the five pieces drawn on their squares over whatever is there.
// Nothing of the game changes; C is left at the highlight colour the prompts go on with.
#include "app/drawing.h"
#include "app/procedures.h"
#include "app/state.h"
#include "app/statement.h"

namespace {

// Clears the square's inside and draws the piece on it; three lines from first_line.
void reveal_piece(const int16_t& file, const int16_t& row, void (*pictogram)(),
                  uint32_t first_line) {
  X = static_cast<int16_t>(17 * file + 83);
  check_statement(first_line);
  Y = static_cast<int16_t>(17 * row + 27);
  check_statement(first_line);
  draw_line(X - 1, Y - 1, X + 14, Y + 14, 0, stroke::fill);
  check_statement(first_line + 1);
  pictogram();
  check_statement(first_line + 2);
}

}  // namespace

void SUB_SOLUTION() {
  procedure_activation activation;
  set_colour_for(1, 3, 1621);
  set_colour_for(3, 2, 1622);
  set_colour_for(5, 1, 1623);
  reveal_piece(DC1X, DC1Y, SUB_KING, 1624);
  reveal_piece(DC2X, DC2Y, SUB_QUEEN, 1627);
  reveal_piece(DC3X, DC3Y, SUB_BISHOP, 1630);
  reveal_piece(DC4X, DC4Y, SUB_KNIGHT, 1633);
  reveal_piece(DC5X, DC5Y, SUB_ROOK, 1636);
  set_colour_for(1, 3, 1639);
  set_colour_for(3, 10, 1640);
  set_colour_for(5, 1, 1641);
}
