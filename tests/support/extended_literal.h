// Extended values written as decimals in tests, the same on every host: EXTENDED(2.675) is the
// compiler's long double literal 2.675L where long double is the x87's format, and elsewhere the
// same decimal read by the software extended type (which rounds it the same way).
#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/core/extended.h"

// A decimal ("-12.5", "1e-300", "0.00125", "7.5D+03") as the nearest extended value. Reads the
// digits, the point and an exponent after E or D, and hands vost::extended_from_text its form
// "[-]d.dddE[-]n".
inline extended extended_of_text(std::string_view text) {
  std::string digits;
  int64_t exponent = 0, written_exponent = 0;
  bool negative = false, in_fraction = false, exponent_negative = false, in_exponent = false;
  for (const char c : text) {
    if (in_exponent) {
      if (c == '-') exponent_negative = true;
      if (std::isdigit(static_cast<unsigned char>(c)))
        written_exponent = written_exponent * 10 + (c - '0');
    } else if (c == '-') {
      negative = true;
    } else if (c == '.') {
      in_fraction = true;
    } else if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
      in_exponent = true;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      if (digits.empty() && c == '0') {
        if (in_fraction) --exponent;  // a leading zero after the point
        continue;
      }
      if (!in_fraction) ++exponent;
      digits += c;
    }
  }
  if (digits.empty()) return negative ? -extended(0) : extended(0);
  std::string normal = negative ? "-" : "";
  normal += digits[0];
  normal += '.';
  normal += digits.substr(1);
  normal += 'E' + std::to_string((exponent_negative ? -written_exponent : written_exponent) +
                                 exponent - 1);
  return vost::extended_from_text(normal.data(), normal.data() + normal.size());
}

#if VOST_HARDWARE_EXTENDED
#define EXTENDED(decimal) decimal##L
#else
#define EXTENDED(decimal) extended_of_text(#decimal)
#endif
