// screen_after_keys: the picture the game shows after a sequence of keys, as a PNG, for comparing
// another host's pixels with the desktop's (the browser tests).
//
//   screen_after_keys [--seed=N | --puzzle=CODE] KEYS OUT.png
//
// Runs the program headless with the given options, presses the KEYS one after the other (each
// character is a key; "~" is Enter), waiting after each until the program sits at its next
// prompt, then writes the displayed page as the screen shows it, and prints the window's title.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/command_line.h"
#include "app/program.h"
#include "runtime/core/atomic_ref.h"
#include "runtime/core/memory.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/keyboard_wait.h"
#include "runtime/host/window_ops.h"
#include "runtime/runtime.h"
#include "runtime/screen/image.h"
#include "tools/png/page_png.h"

namespace {

using steady = std::chrono::steady_clock;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "screen_after_keys: %s\n", what);
  _exit(1);
}

// Waits until the program has read every key and sits waiting for the next one, having begun
// that wait after `waits_before` earlier ones: it has then drawn everything the keys asked for.
// (A key pressed to find out, as the soak does, would be read by a verdict's "any key".)
void wait_at_prompt(uint32_t waits_before) {
  const auto deadline = steady::now() + std::chrono::seconds(30);
  while (!keyboard_ring_empty() || !program_waiting_for_key.load() ||
         key_waits_begun.load() == waits_before) {
    if (exit_ok.load() & 1) fail("the program ended");
    if (steady::now() > deadline) fail("the program did not come back to a prompt within 30 s");
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (int status = take_command_line(argc, argv); status >= 0) return status;
  if (argc != 3) {
    std::fprintf(stderr, "usage: screen_after_keys [--seed=N | --puzzle=CODE] KEYS OUT.png\n");
    return 2;
  }
  const std::string keys = argv[1];
  const std::string out = argv[2];
  screen_hide.store(1);
  runtime_init();
  std::thread([] { ZQMAIN(); }).detach();
  wait_at_prompt(0);
  for (char key : keys) {
    const uint32_t waits = key_waits_begun.load();
    keydown(key == '~' ? 13 : key);
    keyup(key == '~' ? 13 : key);
    wait_at_prompt(waits);
  }
  const img_struct* page = display_page.load();
  if (!page || !write_png(out, *page)) fail("cannot write the picture");
  std::printf("%s\n", current_window_title().c_str());
  std::fflush(nullptr);
  _exit(0);
}
