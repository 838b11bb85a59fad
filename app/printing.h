// Printing statements of the puzzle.
#pragma once

#include <cstdint>
#include <string_view>

// PRINT "text": the literal is assigned to a permanent string, fitted to the line, printed with a
// line end and released; the statement's temporaries above temporary_base are cleaned up.
void print_line(uint32_t temporary_base, std::string_view text);

// PRINT alone: an empty line, which moves the text cursor to the start of the next row.
void print_empty_line();
