// Program body of present_demo. VOST_PRESENT_DEMO_SCENE chooses the picture: "graphics"
// (default) draws the 640 x 480 pattern of demo_pattern.h in screen mode 12; "text" prints a line
// on the 80 x 25 text screen and shows the text cursor. Then it waits for Esc, which ends it.
// "keys" writes every key string the keyboard ring hands over as its byte values, one line per
// key, to standard output, and ends on "q" (so that Esc itself can be tested).
// VOST_PRESENT_DEMO_PO2=1 sends every texture through the power-of-two padding.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/strings.h"
#include "runtime/host/host_main.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/keyboard_wait.h"
#include "runtime/host/window/hardware_image.h"
#include "runtime/host/window_ops.h"
#include "runtime/screen/color.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"
#include "runtime/screen/text.h"
#include "tools/present_demo/demo_pattern.h"

namespace {

// Read before main starts any thread.
const bool force_power_of_two = [] {
  const char* po2 = std::getenv("VOST_PRESENT_DEMO_PO2");
  if (po2 && std::strcmp(po2, "1") == 0) hardware_img_force_PO2_fix = 1;
  return hardware_img_force_PO2_fix != 0;
}();

void draw_graphics_scene() {
  zqg_screen(12, 0, 0, 0, 0, 1);
  for (int y = 0; y < demo_height; ++y)
    for (int x = 0; x < demo_width; ++x) pset(x, y, demo_colour(x, y));
}

void draw_text_scene(uint32_t temporaries) {
  zqg_sub_color(14, 1, 0, 3);
  zqg_sub_locate(demo_text_row, demo_text_column, 0, 0, 0, 3);
  zqs_print(zqs_new_txt(demo_text), 0);
  zqs_cleanup(temporaries, 0);
  zqg_sub_color(7, 0, 0, 3);
  zqg_sub_locate(demo_cursor_row, demo_cursor_column, 1, demo_cursor_first_line,
                 demo_cursor_last_line, 31);
}

// Logs every key until "q" arrives, then ends the program.
[[noreturn]] void log_keys(uint32_t temporaries) {
  for (;;) {
    check_statement(4);
    zqs* key = zqs_inkey();
    const int32_t length = zqs_len(key);
    bool quit = false;
    if (length > 0) {
      for (int32_t i = 0; i < length; ++i)
        std::printf(i == 0 ? "%u" : " %u", static_cast<unsigned>(key->data[i]));
      std::printf("\n");
      std::fflush(stdout);
      quit = length == 1 && key->data[0] == 'q';
    }
    zqs_cleanup(temporaries, 0);
    if (quit) program_end();
    keyboard_wait_for_key();
  }
}

void demo_program() {
  const uint32_t temporaries = zqs_tmp_list_nexti;
  sub__title(zqs_new_txt("present demo"));
  zqs_cleanup(temporaries, 0);
  check_statement(1);

  const char* scene = std::getenv("VOST_PRESENT_DEMO_SCENE");
  if (scene && std::strcmp(scene, "keys") == 0) {
    draw_text_scene(temporaries);
    log_keys(temporaries);
  }
  if (scene && std::strcmp(scene, "text") == 0)
    draw_text_scene(temporaries);
  else
    draw_graphics_scene();
  check_statement(2);

  for (;;) {
    check_statement(3);
    zqs* key = zqs_inkey();
    bool escape = zqs_len(key) == 1 && zqs_equal(key, func_chr(27));
    zqs_cleanup(temporaries, 0);
    if (escape) program_end();
    // The picture stands still: sleep until the next key.
    keyboard_wait_for_key();
  }
}

}  // namespace

int main(int argc, char** argv) { host_main(argc, argv, demo_program); }
