// The picture present_demo draws and present_check expects.
#pragma once

#include <cstdint>

// The graphics scene: a 640 x 480 page of 16 colours (screen mode 12) whose colour changes every
// few pixels in both directions, so that any scaling error shows.
inline constexpr int demo_width = 640;
inline constexpr int demo_height = 480;
inline uint32_t demo_colour(int x, int y) {
  return static_cast<uint32_t>((x / 3 + (y / 2) * 5 + (x * y) / 97) % 16);
}

// The text scene: 80 x 25 cells of the 8 x 16 font. The text cursor shows at this cell (1-based
// row and column) with scan lines 6 to 7, which are rows 13 and 14 of the cell.
inline constexpr int demo_cursor_row = 10;
inline constexpr int demo_cursor_column = 20;
inline constexpr int demo_cursor_first_line = 6;
inline constexpr int demo_cursor_last_line = 7;
// A line of text printed at row 3, column 5, yellow (14) on blue (1).
inline constexpr const char* demo_text = "Frames from a text page";
inline constexpr int demo_text_row = 3;
inline constexpr int demo_text_column = 5;
