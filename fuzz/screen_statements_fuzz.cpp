// Runs arbitrary sequences of screen statements (tests/support/screen_statements.h says how bytes
// read as statements and what is capped) on the fuzzer's thread, the program thread, while a
// second thread prepares frames from the displayed page, as the main loop does. The sanitizers
// report a preparation that reads what a statement freed or moved; the target aborts when a
// statement leaves the displayed, write or read page naming an image that does not exist.
//
// Every input starts from a fresh screen, made while frame preparation is parked, so that a
// finding replays from its input alone (a race, though, may need a few runs to show again).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tests/support/screen_statements.h"

namespace {

// A few hundred statements: enough to combine every kind, few enough to keep a run short.
constexpr size_t max_input = 2048;

struct Harness {
  ScreenStatements statements{1024};
  PreparationThread preparation;
  Harness() { statements.reset(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never destroyed: at exit its thread stays parked rather than racing the runtime's teardown.
  static Harness& harness = *new Harness;
  if (size > max_input) return 0;
  harness.preparation.resume();
  const bool pages_valid = harness.statements.run(data, size);
  harness.preparation.park();
  if (!pages_valid) std::abort();
  // The next input starts from a fresh screen. Made here rather than at the start, it frees
  // within the run what the run allocated: libFuzzer runs an input again with its leak check
  // whenever the input allocates more than it frees.
  harness.statements.reset();
  return 0;
}
