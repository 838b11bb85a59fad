// The default palettes of the emulated display adapter.
//
// palette_256 is the VGA power-on DAC table (mode 13h): 16 classic colours, a 16-step grey ramp,
// nine 24-entry hue circles at three intensities and three saturations, and 8 black entries.
// palette_64 is the 64-colour EGA table, pal_mode10 the two blink phases of the mode 10 monochrome
// attributes. All three are declared in image.h and built here; every entry has alpha 0xFF.
#pragma once

#include <cstdint>

// Fills palette_256, palette_64 and pal_mode10 (screen_init).
void build_default_palettes();
