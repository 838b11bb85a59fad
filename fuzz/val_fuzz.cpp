// Feeds arbitrary bytes to the number reader, and what it reads to the number printers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/core/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ValResult result = text_to_number(text);
  if (result.overflow && result.value != 0) std::abort();

  char single_text[single_text_capacity];
  char double_text[double_text_capacity];
  const size_t single_length = single_to_text(static_cast<float>(result.value), single_text);
  const size_t double_length = double_to_text(static_cast<double>(result.value), double_text);
  if (single_length < 2 || single_length > single_text_capacity) std::abort();
  if (double_length < 2 || double_length > double_text_capacity) std::abort();

  // A finite double's text reads back to a value within the 16 digits it shows.
  const double shown = static_cast<double>(result.value);
  if (std::isfinite(shown) && shown != 0) {
    const ValResult back = text_to_number({double_text, double_length});
    const long double error = std::fabs((back.value - shown) / shown);
    if (!(error <= 6e-15L)) std::abort();
  }
  return 0;
}
