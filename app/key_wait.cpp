#include "app/key_wait.h"

#include <cstdint>

#include "runtime/core/clock.h"
#include "runtime/host/keyboard.h"

namespace {

constexpr uint32_t short_pause_ms = 1;
constexpr uint32_t long_pause_ms = 5;
// Empty passes with the short pause before the long one: about a quarter of a second.
constexpr int32_t short_pauses = 250;

// Consecutive passes without a key (program thread only).
int32_t empty_passes = 0;

}  // namespace

void pause_while_no_key(bool key_was_read) {
  if (key_was_read) {
    empty_passes = 0;
    return;
  }
  if (!keyboard_ring_empty()) return;
  if (empty_passes < short_pauses) {
    ++empty_passes;
    Sleep(short_pause_ms);
  } else {
    Sleep(long_pause_ms);
  }
}
