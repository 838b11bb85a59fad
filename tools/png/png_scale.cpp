// png_scale: scales a PNG to a square of SIZE x SIZE pixels with nearest-neighbour sampling, so
// that a pixel-art bitmap stays crisp (the build makes the icon sizes of the game with it).
//
//   png_scale INPUT.png SIZE OUTPUT.png
//
// Writes an 8-bit RGBA PNG. Exits 0 on success, 1 when the input cannot be read or the output
// not written, 2 on bad usage.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/png/page_png.h"

int main(int argc, char** argv) {
  char* end = nullptr;
  const long size = argc == 4 ? std::strtol(argv[2], &end, 10) : 0;
  if (argc != 4 || *end != '\0' || size < 1 || size > 4096) {
    std::fprintf(stderr, "usage: png_scale INPUT.png SIZE OUTPUT.png (SIZE 1 to 4096)\n");
    return 2;
  }
  std::optional<RgbaImage> picture = read_png(argv[1]);
  if (!picture) {
    std::fprintf(stderr, "png_scale: cannot read %s\n", argv[1]);
    return 1;
  }
  const int32_t side = static_cast<int32_t>(size);
  if (!write_png(argv[3], scale_nearest(*picture, side, side))) {
    std::fprintf(stderr, "png_scale: cannot write %s\n", argv[3]);
    std::remove(argv[3]);
    return 1;
  }
  return 0;
}
