// Writes sample pages to PNG files: the 256-colour palette as 16 x 16 swatches on a mode 13
// page, the 16 colours of mode 12, and a text screen.
//
//   page_png_sample OUTPUT_DIRECTORY
#include <cstdio>
#include <string>

#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"
#include "tools/png/page_png.h"

namespace {

bool save(const std::string& directory, const char* name) {
  const std::string path = directory + "/" + name;
  if (!write_png(path, *display_page.load())) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : ".";
  screen_hide.store(1);
  runtime_init();

  // Mode 13: colour c as a 20 x 12 swatch at column c mod 16, row c / 16.
  zqg_screen(13, 0, 0, 0, 0, 1);
  for (int c = 0; c < 256; ++c) {
    const float x = static_cast<float>((c % 16) * 20), y = static_cast<float>((c / 16) * 12);
    sub_line(x, y, x + 19, y + 11, static_cast<uint32_t>(c), 2, 0, 1 | 8);
  }
  bool ok = save(directory, "palette_256.png");

  // Mode 12: the 16 colours as bars with a white outline each.
  zqg_screen(12, 0, 0, 0, 0, 1);
  for (int c = 0; c < 16; ++c) {
    const float x = static_cast<float>(c * 40);
    sub_line(x, 0, x + 39, 479, static_cast<uint32_t>(c), 2, 0, 1 | 8);
    sub_line(x, 0, x + 39, 479, 15, 1, 0xF0F0, 1 | 8 | 16);
  }
  ok = save(directory, "mode12_colours.png") && ok;

  // Text mode: every character with a range of attributes.
  zqg_screen(0, 0, 0, 0, 0, 1);
  for (int c = 0; c < 256; ++c) {
    uint8_t* cell = display_page.load()->pixels + ((c / 64) * 2 * 80 + (c % 64) + 8) * 2;
    cell[0] = static_cast<uint8_t>(c);
    cell[1] = static_cast<uint8_t>(1 + c % 127);
  }
  ok = save(directory, "text_80x25.png") && ok;
  return ok ? 0 : 1;
}
