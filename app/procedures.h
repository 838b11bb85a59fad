// The puzzle's procedures. None takes arguments or returns a value: they read and write the
// shared state of app/state.h. Drawing procedures draw at (X, Y) in colour C.
#pragma once

// Board, cells and label glyphs.
void SUB_CHESSBOARD();
void SUB_CELLS();
void SUB_NUMBER0();
void SUB_NUMBER1();
void SUB_NUMBER2();
void SUB_NUMBER3();
void SUB_NUMBER4();
void SUB_NUMBER5();
void SUB_NUMBER6();
void SUB_NUMBER7();
void SUB_NUMBER8();
void SUB_NUMBERA();
void SUB_NUMBERB();
void SUB_NUMBERC();
void SUB_NUMBERD();
void SUB_NUMBERE();
void SUB_NUMBERF();
void SUB_NUMBERG();
void SUB_NUMBERH();

// Piece pictograms, 14 x 14 pixels from (X, Y).
void SUB_KING();
void SUB_QUEEN();
void SUB_BISHOP();
void SUB_KNIGHT();
void SUB_ROOK();

// Attack counting: each adds its hidden piece's attacks into CHESSCOUNT.
void SUB_KINGCOUNT();
void SUB_QUEENCOUNT();
void SUB_BISHOPCOUNT();
void SUB_KNIGHTCOUNT();
void SUB_ROOKCOUNT();

// Draws the five hidden pieces on their squares.
void SUB_SOLUTION();

// One puzzle: hide, count, let the player place the pieces, judge.
void SUB_CHESS();
