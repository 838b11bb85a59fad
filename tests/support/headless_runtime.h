// The headless runtime that tests, benchmarks and fuzz targets start from: runtime_init without a
// window (screen_hide) and without the wait for a whole clock second. No test framework needed.
#pragma once

#include <cstdint>

#include "runtime/core/error.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/image.h"

// Prepares the runtime's global state as a test needs it: no window, no clock wait.
inline void init_headless_runtime() {
  screen_hide.store(1);
  runtime_init();
}

// init_headless_runtime, once per process.
inline void ensure_headless_runtime() {
  if (img.empty()) init_headless_runtime();
}

// Forgets a pending error and the event flag it raised.
inline void clear_pending_error() {
  new_error.store(0);
  zqevent.store(0);
}

// The pending error number (0 for none), then cleared.
inline uint32_t take_pending_error() {
  const uint32_t e = new_error.load();
  clear_pending_error();
  return e;
}
