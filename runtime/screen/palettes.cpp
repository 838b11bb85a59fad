// The default palettes, generated from the adapter's power-on tables.
#include "runtime/screen/palettes.h"

#include <array>

#include "runtime/screen/image.h"

uint32_t palette_256[256];
uint32_t palette_64[64];
uint32_t pal_mode10[2][9];

namespace {

constexpr uint32_t opaque = 0xFF000000u;

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

// The 16 classic colours (CGA/EGA order).
constexpr std::array<uint32_t, 16> classic_colours = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

// The grey ramp of entries 16..31 (6-bit DAC steps widened to 8 bits).
constexpr std::array<uint8_t, 16> grey_ramp = {0x00, 0x14, 0x20, 0x2D, 0x39, 0x45, 0x51, 0x61,
                                               0x71, 0x82, 0x92, 0xA2, 0xB6, 0xCA, 0xE3, 0xFF};

// The five component levels (low, three middle steps, high) of each of the nine hue circles:
// high, medium and low intensity, each at full, half and low saturation.
constexpr std::array<std::array<uint8_t, 5>, 9> hue_circle_levels = {{
    {0x00, 0x41, 0x7D, 0xBE, 0xFF},
    {0x7D, 0x9E, 0xBE, 0xDF, 0xFF},
    {0xB6, 0xC6, 0xDB, 0xEB, 0xFF},
    {0x00, 0x1C, 0x39, 0x55, 0x71},
    {0x39, 0x45, 0x55, 0x61, 0x71},
    {0x51, 0x59, 0x61, 0x69, 0x71},
    {0x00, 0x10, 0x20, 0x31, 0x41},
    {0x20, 0x28, 0x31, 0x39, 0x41},
    {0x2D, 0x31, 0x35, 0x3D, 0x41},
}};

// Writes one 24-entry hue circle starting at blue (L,L,H): red rises, blue falls, green rises,
// red falls, blue rises, green falls, each in four steps (the last in three, closing the circle).
void write_hue_circle(uint32_t* out, const std::array<uint8_t, 5>& level) {
  int r = 0, g = 0, b = 4;  // indices into level[]
  int n = 0;
  out[n++] = rgb(level[r], level[g], level[b]);
  // Each phase moves one component one level per entry, up (+1) or down (-1).
  struct Phase {
    int* component;
    int step;
  };
  const Phase phases[6] = {{&r, +1}, {&b, -1}, {&g, +1}, {&r, -1}, {&b, +1}, {&g, -1}};
  for (const Phase& phase : phases) {
    for (int i = 0; i < 4 && n < 24; ++i) {
      *phase.component += phase.step;
      out[n++] = rgb(level[r], level[g], level[b]);
    }
  }
}

}  // namespace

void build_default_palettes() {
  for (int i = 0; i < 16; ++i) palette_256[i] = classic_colours[i] | opaque;
  for (int i = 0; i < 16; ++i) {
    const uint32_t v = grey_ramp[i];
    palette_256[16 + i] = rgb(v, v, v) | opaque;
  }
  for (int run = 0; run < 9; ++run) {
    uint32_t* out = palette_256 + 32 + run * 24;
    write_hue_circle(out, hue_circle_levels[run]);
    for (int i = 0; i < 24; ++i) out[i] |= opaque;
  }
  for (int i = 248; i < 256; ++i) palette_256[i] = opaque;

  // EGA: bits 0..2 add 0xAA to blue, green, red; bits 3..5 add 0x55 to them.
  for (uint32_t i = 0; i < 64; ++i) {
    const uint32_t b = ((i & 1) ? 0xAA : 0) + ((i & 8) ? 0x55 : 0);
    const uint32_t g = ((i & 2) ? 0xAA : 0) + ((i & 16) ? 0x55 : 0);
    const uint32_t r = ((i & 4) ? 0xAA : 0) + ((i & 32) ? 0x55 : 0);
    palette_64[i] = rgb(r, g, b) | opaque;
  }

  // Mode 10 attributes 0..8 show level a / 3 in blink phase 0 and a mod 3 in phase 1, the levels
  // being black, grey and white.
  constexpr uint32_t levels[3] = {0x000000, 0x808080, 0xFFFFFF};
  for (int a = 0; a < 9; ++a) {
    pal_mode10[0][a] = levels[a / 3] | opaque;
    pal_mode10[1][a] = levels[a % 3] | opaque;
  }
}
