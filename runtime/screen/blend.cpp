// Blend tables of 32-bit drawing with alpha.
#include "runtime/screen/blend.h"

#include <cmath>

uint8_t* cblend = nullptr;
uint8_t* ablend = nullptr;
uint8_t* ablend127 = nullptr;
uint8_t* ablend128 = nullptr;

namespace {

// Blend tables live in static storage: they cost nothing until init_blend touches them, and
// building them can never fail.
uint8_t colour_blend_table[256 * 256 * 256];
uint8_t alpha_blend_table[256 * 256];
bool blend_ready = false;

}  // namespace

void init_blend() {
  if (blend_ready) return;
  for (int a = 0; a < 256; ++a) {
    const float fa = static_cast<float>(a) / 255.0f;
    const float fb = 1.0f - fa;
    for (int s = 0; s < 256; ++s) {
      uint8_t* row = colour_blend_table + (a << 16) + (s << 8);
      for (int d = 0; d < 256; ++d)
        row[d] = static_cast<uint8_t>(
            std::nearbyint(fa * static_cast<float>(s) + fb * static_cast<float>(d)));
    }
  }
  for (int a1 = 0; a1 < 256; ++a1) {
    const float f1 = 1.0f - static_cast<float>(a1) / 255.0f;
    for (int a2 = 0; a2 < 256; ++a2) {
      const float f2 = 1.0f - static_cast<float>(a2) / 255.0f;
      alpha_blend_table[(a1 << 8) + a2] =
          static_cast<uint8_t>(std::nearbyint((1.0f - f1 * f2) * 255.0f));
    }
  }
  cblend = colour_blend_table;
  ablend = alpha_blend_table;
  ablend127 = alpha_blend_table + 127 * 256;
  ablend128 = alpha_blend_table + 128 * 256;
  blend_ready = true;
}
