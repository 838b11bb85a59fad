// Decimal text to the extended format: the C library's reading for the hardware's long double.
#include <clocale>
#include <cstdlib>
#include <string>

#include "runtime/core/extended.h"

#if VOST_HARDWARE_EXTENDED
#include <locale.h>

namespace vost {

namespace {
// The "C" locale object, made once (null should that fail: then the program's own locale reads,
// and the text has no separator but the point, which every locale the runtime runs in reads alike).
locale_t c_locale() {
  static const locale_t locale = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
  return locale;
}
}  // namespace

long double extended_from_text(const char* first, const char* last) {
  const std::string text(first, last);  // the C library reads a terminated text
  const locale_t locale = c_locale();
  return locale ? strtold_l(text.c_str(), nullptr, locale) : std::strtold(text.c_str(), nullptr);
}

}  // namespace vost
#endif
