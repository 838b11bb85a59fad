// Atomic access to a plain object that other code reaches without atomics: the bytes of the
// emulated memory that two threads share (the keyboard ring's head and tail, the BIOS tick count)
// and the index words of the handle lists. It does what std::atomic_ref does for loads and stores,
// on every standard library the runtime is built with (some lack std::atomic_ref), through the
// compiler's atomic built-ins, which the thread sanitizer understands.
#pragma once

#include <atomic>
#include <type_traits>

template <typename T>
class AtomicRef {
  static_assert(std::is_integral_v<T>, "integers only: the shared bytes and words");
  static_assert(sizeof(T) <= sizeof(void*), "lock-free sizes only");

 public:
  explicit AtomicRef(T& object) : object_(&object) {}

  T load(std::memory_order order = std::memory_order_seq_cst) const {
    return __atomic_load_n(object_, built_in(order));
  }
  void store(T value, std::memory_order order = std::memory_order_seq_cst) const {
    __atomic_store_n(object_, value, built_in(order));
  }

 private:
  // The built-ins take the C11 order numbers, which std::memory_order's values are.
  static int built_in(std::memory_order order) { return static_cast<int>(order); }

  T* object_;
};
