// The bits of one trivially copyable value read as another type of the same size, as std::bit_cast
// does; not every standard library the runtime is built with has std::bit_cast, the compilers'
// built-in does the same on all of them.
#pragma once

#include <type_traits>

namespace vost {

template <typename To, typename From>
constexpr To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From), "the same size");
  static_assert(std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>);
  return __builtin_bit_cast(To, from);
}

}  // namespace vost
