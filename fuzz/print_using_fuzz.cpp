// Formats arbitrary values through arbitrary formats.
//
// Input layout: byte 0 picks the value's type (and the starting position from its high bits),
// the next bytes hold the value, and the rest is the format. For a string value the format and
// the string are split at the first zero byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/core/print_using.h"

namespace {

template <typename T>
bool take(const uint8_t*& data, size_t& size, T& value) {
  if (size < sizeof(T)) return false;
  std::memcpy(&value, data, sizeof(T));
  data += sizeof(T);
  size -= sizeof(T);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t selector = 0;
  if (!take(data, size, selector)) return 0;
  NumberDigits number;
  bool have_number = true;
  switch (selector % 6) {
    case 0: {
      int64_t value = 0;
      if (!take(data, size, value)) return 0;
      number = digits_of_integer(value);
      break;
    }
    case 1: {
      uint64_t value = 0;
      if (!take(data, size, value)) return 0;
      number = digits_of_unsigned(value);
      break;
    }
    case 2: {
      float value = 0;
      if (!take(data, size, value)) return 0;
      if (!digits_of_double(value, 'E', number)) return 0;
      break;
    }
    case 3: {
      double value = 0;
      if (!take(data, size, value)) return 0;
      if (!digits_of_double(value, 'D', number)) return 0;
      break;
    }
    case 4: {
      // Ten bytes of an x87 extended value.
      long double value = 0;
      if (size < 10) return 0;
      std::memcpy(&value, data, 10);
      data += 10;
      size -= 10;
      if (!digits_of_extended(value, number)) return 0;
      break;
    }
    default:
      have_number = false;
      break;
  }

  std::string_view format(reinterpret_cast<const char*>(data), size);
  std::string_view text;
  if (!have_number) {
    const size_t split = format.find('\0');
    if (split != std::string_view::npos) {
      text = format.substr(split + 1);
      format = format.substr(0, split);
    }
  }
  UsingValue value;
  value.number = have_number ? &number : nullptr;
  value.text = text;
  const int32_t position = static_cast<int32_t>(selector >> 3) - 4;

  std::string out;
  const UsingResult result = format_using(format, position, value, out);
  if (result.error != 0 && result.error != 5 && result.error != 13) std::abort();
  if (result.next_position < 0 || static_cast<size_t>(result.next_position) > format.size())
    std::abort();
  return 0;
}
