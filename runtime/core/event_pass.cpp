// The event pass the statement check enters when zqevent is raised.

#include "runtime/core/event_pass.h"

#include <atomic>

#include "runtime/core/error.h"
#include "runtime/core/timers.h"
#include "runtime/core/wakeup.h"

void evnt(uint32_t line, uint32_t included_line, const char* included_file) {
  // An exchange rather than a plain store: if another thread raised zqevent after announcing a
  // flag, either we read its 1 here (and, through acquire, its flag below) or its store comes
  // after ours and the next statement check sees it.
  zqevent.exchange(0, std::memory_order_acquire);

  // A pause lasts until the next key press, which notifies program_wakeup, as does a stop
  // request (raise_event).
  for (;;) {
    const uint32_t seen = program_wakeup.generation();
    if (stop_program.load(std::memory_order_acquire)) end();
    if (!suspend_program.load(std::memory_order_acquire)) break;
    program_wakeup.wait(seen);
  }

  if (new_error.load(std::memory_order_relaxed) != 0) {
    ercl = line;
    inclercl = included_line;
    includedfilename = included_file;
    fix_error();
    return;
  }
  events();
}

void events() { ontimer_dispatch(); }
