// A small program body that exercises the process: it waits for its window, names it, asks for
// full screen, then waits for any key (or for the host to stop it) and ends.

#include <csignal>

#include "app/program.h"
#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/strings.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/window_ops.h"

namespace {

void install_division_by_zero_handler() {
  struct sigaction action = {};
  action.sa_handler = division_by_zero_handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGFPE, &action, nullptr);
}

}  // namespace

void ZQMAIN() {
  fpu_reinit();
  install_division_by_zero_handler();
  const uint32_t temporaries = zqs_tmp_list_nexti;

  sub__icon(0, 0, 0);
  check_statement(1);
  sub__icon(0, 0, 0);
  check_statement(2);
  sub__title(zqs_new_txt("Vostrandelimerix"));
  zqs_cleanup(temporaries, 0);
  check_statement(3);
  sub__fullscreen(0, 0);
  check_statement(4);

  for (;;) {
    check_statement(5);
    bool key_pressed = zqs_cleanup(temporaries, zqs_len(zqs_inkey())) > 0;
    check_statement(6);
    if (key_pressed) program_end();
    // Nothing to do until a key arrives: yield instead of spinning on the empty ring.
    if (keyboard_ring_empty()) Sleep(1);
  }
}
