// Process start-up: the runtime's global state, prepared in a fixed order before any thread runs.

#include <unistd.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <string>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/random.h"
#include "runtime/core/strings.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/lists.h"
#include "runtime/host/prompts.h"
#include "runtime/host/startup.h"
#include "runtime/host/window_ops.h"
#include "runtime/runtime.h"
#include "runtime/screen/color.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"

std::string join_command_line(int argc, char** argv) {
  std::string joined;
  for (int i = 1; i < argc && argv; ++i) {
    if (!argv[i]) continue;
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  return joined;
}

std::string executable_directory() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  path[length] = '\0';
  char* slash = std::strrchr(path, '/');
  if (!slash) return {};
  if (slash == path) return "/";
  *slash = '\0';
  return path;
}

int64_t local_ms_since_midnight(time_t when, int32_t milliseconds) {
  if (when == static_cast<time_t>(-1)) return 0;
  tm local{};
  if (!localtime_r(&when, &local)) return 0;
  return (static_cast<int64_t>(local.tm_hour) * 3600 + local.tm_min * 60 + local.tm_sec) * 1000 +
         milliseconds;
}

namespace {

// Records where the process started, then makes the executable's directory current. Only a real
// process start passes arguments; tests call runtime_init without them and keep their directory.
void enter_executable_directory(int argc) {
  char cwd[PATH_MAX];
  start_directory = getcwd(cwd, sizeof cwd) ? cwd : "";
  root_directory = start_directory;
  if (argc < 1) return;
  std::string directory = executable_directory();
  if (!directory.empty() && chdir(directory.c_str()) == 0) root_directory = directory;
}

// Takes the clock reference: GetTicks and the local time of day in milliseconds at the same
// instant. The wall clock is read to the millisecond, so start-up need not wait for a second to
// begin; TIMER counts from the true local time either way.
void take_clock_reference() {
  timespec wall{};
  const bool have_wall = clock_gettime(CLOCK_REALTIME, &wall) == 0;
  clock_firsttimervalue = GetTicks();
  zorbel_firsttimervalue =
      have_wall ? local_ms_since_midnight(wall.tv_sec, static_cast<int32_t>(wall.tv_nsec / 1000000))
                : 0;
}

}  // namespace

void runtime_init(int argc, char** argv) {
  // The three display frames start free and empty; then the handle tables, which later steps
  // may add to.
  reset_display_frames();
  handle_lists_init();
  // Font metrics and glyphs, then scratch memory, emulated conventional memory and the shared
  // strings, which later steps (text pages, keyboard ring) live in.
  fonts_init();
  memory_init();
  strings_init();

  enter_executable_directory(argc);
  program_argc = argc;
  program_argv = argv;
  command_line = join_command_line(argc, argv);
  set_program_arguments(argc, argv);

  take_clock_reference();
  keyboard_init();
  keyboard_data_port_read = keyboard_port60h_read;
  random_seed_prompt = prompt_random_seed;
  // Default palettes, the image table and screen mode 0, then the built-in window icons.
  screen_init();
  create_builtin_icons();
}
