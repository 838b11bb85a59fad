#include "runtime/core/process_end.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

// Written once at start-up (install_process_end); read by whichever thread ends the process.
std::atomic<void (*)(int32_t)> end_hook{nullptr};

}  // namespace

void install_process_end(void (*end)(int32_t status)) { end_hook.store(end); }

void end_process(int32_t status) {
  std::fflush(nullptr);
  if (auto end = end_hook.load()) end(status);
  std::_Exit(status);
}
