// The font of a page: the _FONT statement and the font queries. Program thread only; bad fonts
// and handles raise error 258, a loadable font on a text page error 5.
#pragma once

#include <cstdint>

// _FONT font[, handle]: passed bit 1 handle given (else the write page).
enum font_passed : int32_t { font_handle_given = 1 };
void sub__font(int32_t font, int32_t handle, int32_t passed);
int32_t func__font(int32_t handle, int32_t passed);
// _FONTWIDTH / _FONTHEIGHT of a font (passed bit 1), else of the write page's font.
enum fontsize_passed : int32_t { fontsize_font_given = 1 };
int32_t func__fontwidth(int32_t font, int32_t passed);
int32_t func__fontheight(int32_t font, int32_t passed);
