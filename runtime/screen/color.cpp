// Colour statements, palette statements, the palette ports and the colour functions.
#include "runtime/screen/color.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/extended.h"
#include "runtime/core/process_flags.h"
#include "runtime/screen/image.h"

uint8_t H3C8_palette_register_index = 0;
uint8_t H3C9_next = 0;
std::atomic<int32_t> H3C0_blink_enable = 1;
int32_t unsupported_port_accessed = 0;
int32_t (*keyboard_data_port_read)() = nullptr;

namespace {

// The emulated vertical retrace (program thread only: port 0x3DA's reads compute it from the
// clock): one has happened since the last read (the read consumes it), one is under way now.
struct {
  bool happened = false;
  bool in_progress = false;
} vertical_retrace;

}  // namespace

namespace {

// Port numbers of the VGA attribute controller, the DAC and the input status register.
constexpr int32_t port_attribute_controller = 0x3C0;
constexpr int32_t port_dac_read_index = 0x3C7;
constexpr int32_t port_dac_write_index = 0x3C8;
constexpr int32_t port_dac_data = 0x3C9;
constexpr int32_t port_input_status = 0x3DA;
constexpr int32_t port_keyboard_data = 0x60;

// Palette port state of the read side: the entry that reads of port 0x3C9 return next (set by port
// 0x3C7, a byte that wraps at 256) and its component returned next (0 red, 1 green, 2 blue).
struct {
  uint8_t index = 0;
  uint8_t component = 0;
} dac_read;

// Byte positions of the components in an 0xAARRGGBB word, in DAC order (red, green, blue).
constexpr int component_shift[3] = {16, 8, 0};

uint32_t component_of(uint32_t colour, int component) {
  return (colour >> component_shift[component]) & 255;
}

uint32_t with_component(uint32_t colour, int component, uint32_t value) {
  const int shift = component_shift[component];
  return (colour & ~(255u << shift)) | (value << shift);
}

// A 6-bit colour value of the palette statement: red in bits 0..5, green 8..13, blue 16..21.
bool is_6bit_colour(uint32_t value) { return (value & ~0x3F3F3Fu) == 0; }

uint32_t convert_6bit_colour(uint32_t value) {
  return (dac_6bit_to_8bit(value & 63) << 16) | (dac_6bit_to_8bit((value >> 8) & 63) << 8) |
         dac_6bit_to_8bit((value >> 16) & 63);
}

int32_t clamp_component(int32_t value) { return std::clamp(value, 0, 255); }

// The image a colour function works on: the given handle or page (passed bit 1), else the write
// page. Null after a bad handle (error 258 raised).
img_struct* colour_target(int32_t handle, int32_t passed) {
  if (!(passed & colour_handle_given)) return write_page;
  const uint32_t index = resolve_image(handle);
  if (error_pending() || index == 0) return nullptr;
  return &img[index];
}

bool is_32bit(const img_struct& im) { return im.bytes_per_pixel == 4; }

// Number of palette entries a nearest-colour search looks at.
uint32_t searchable_entries(const img_struct& im) {
  if (im.text) return 16;
  if (im.pixel_mask >= 255) return 256;
  return im.pixel_mask + 1;
}

uint32_t nearest_palette_entry(const img_struct& im, int32_t r, int32_t g, int32_t b) {
  if (!im.palette) return 0;
  const uint32_t entries = searchable_entries(im);
  uint32_t best = 0;
  int32_t best_distance = 1000;
  for (uint32_t i = 0; i < entries; ++i) {
    const uint32_t entry = im.palette[i];
    const int32_t distance = std::abs(static_cast<int32_t>(component_of(entry, 0)) - r) +
                             std::abs(static_cast<int32_t>(component_of(entry, 1)) - g) +
                             std::abs(static_cast<int32_t>(component_of(entry, 2)) - b);
    if (distance == 0) return i;
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return best;
}

// Terminal colours of the console image.
void console_color(uint32_t foreground, uint32_t background, int32_t passed) {
  if (((passed & color_foreground) && foreground > 255) ||
      ((passed & color_background) && background > 255)) {
    error(illegal_function_call);
    return;
  }
  if (passed & color_foreground) std::printf("\033[38;5;%um", foreground);
  if (passed & color_background) std::printf("\033[48;5;%um", background);
  std::fflush(stdout);
}

// Per-mode limits of the colour statement: foreground and background maxima, and whether a
// border value is accepted (and ignored) rather than rejected.
struct ColorLimits {
  uint32_t mode;
  uint32_t foreground_max;
  uint32_t background_max;
  bool border_allowed;
};

constexpr uint32_t any_value = 0xFFFFFFFF;
constexpr ColorLimits color_limits_by_mode[] = {
    {32, any_value, any_value, false},
    {13, 255, 255, false},
    {256, 255, 255, false},
    {12, 15, 15, false},
    {11, 1, 1, false},
    {10, 3, 8, false},
    {9, 15, 63, false},
    {8, 15, 15, false},
    {7, 15, 15, false},
    {2, 1, 15, false},
    {1, 15, any_value, false},
    {0, 31, 15, true},
};

const ColorLimits* color_limits(uint32_t mode) {
  for (const ColorLimits& limits : color_limits_by_mode) {
    if (limits.mode == mode) return &limits;
  }
  return nullptr;
}

}  // namespace

uint32_t dac_6bit_to_8bit(uint32_t component) {
  const extended scaled =
      extended(component) * extended(4.0634918212890625) - extended(0.49999991059303284);
  return static_cast<uint32_t>(vost::nearbyint(scaled));
}

uint32_t dac_8bit_to_6bit(uint32_t component) {
  const double scaled = static_cast<double>(component) / 3.984376 - 0.49999991059303284;
  return static_cast<uint32_t>(std::nearbyint(scaled));
}

void zqg_sub_color(uint32_t foreground, uint32_t background, uint32_t border, int32_t passed) {
  (void)border;
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (im.console) {
    console_color(foreground, background, passed);
    return;
  }
  const ColorLimits* limits = color_limits(im.mode);
  if (!limits) {
    error(illegal_function_call);
    return;
  }
  const bool has_foreground = passed & color_foreground;
  const bool has_background = passed & color_background;
  if (((passed & color_border) && !limits->border_allowed) ||
      (has_foreground && foreground > limits->foreground_max) ||
      (has_background && background > limits->background_max)) {
    error(illegal_function_call);
    return;
  }

  switch (im.mode) {
    case 32:
    case 13:
    case 256:
    case 12:
    case 11:
      if (has_foreground) im.color = foreground;
      if (has_background) im.background_color = background;
      break;
    case 10:
      // The background is the attribute (grey level pair) shown for colour 0.
      if (has_foreground) im.color = foreground;
      if (has_background) im.palette[4] = background;
      break;
    case 9:
      if (has_foreground) im.color = foreground;
      if (has_background) im.palette[0] = palette_64[background];
      break;
    case 7:
    case 8:
    case 2:
      if (has_foreground) im.color = foreground;
      if (has_background) im.palette[0] = palette_256[background];
      break;
    case 1:
      // CGA: the first value is the background colour, the second picks palette 0 or 1.
      if (has_foreground) im.palette[0] = palette_256[foreground];
      if (has_background) {
        const uint32_t first = (background & 1) ? 3 : 2;
        for (uint32_t i = 0; i < 3; ++i) im.palette[1 + i] = palette_256[first + 2 * i];
      }
      break;
    case 0:
      // Foreground 16..31 are the blinking forms; the background has only 8 colours.
      if (has_foreground) im.color = foreground;
      if (has_background) im.background_color = background & 7;
      break;
  }
}

void zqg_palette(int32_t attribute, int32_t colour, int32_t passed) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (!passed) {
    restorepalette(&im);
    return;
  }
  if (is_32bit(im) || !im.palette) {
    error(illegal_function_call);
    return;
  }
  const uint32_t entry = static_cast<uint32_t>(attribute) & 255;
  const uint32_t value = static_cast<uint32_t>(colour);

  uint32_t attribute_max = 0;
  switch (im.mode) {
    case 13:
    case 256:
      attribute_max = 255;
      break;
    case 12:
    case 9:
    case 7:
    case 8:
    case 1:
    case 0:
      attribute_max = 15;
      break;
    case 11:
    case 2:
      attribute_max = 1;
      break;
    case 10:
      attribute_max = 3;
      break;
    default:
      error(illegal_function_call);
      return;
  }
  if (entry > attribute_max) {
    error(illegal_function_call);
    return;
  }

  switch (im.mode) {
    case 13:
    case 256:
    case 12:
    case 11:
      if (!is_6bit_colour(value)) {
        error(illegal_function_call);
        return;
      }
      im.palette[entry] = convert_6bit_colour(value);
      break;
    case 10:
      if (value > 8) {
        error(illegal_function_call);
        return;
      }
      im.palette[entry + 4] = value;
      break;
    case 9:
    case 0:
      if (value > 63) {
        error(illegal_function_call);
        return;
      }
      im.palette[entry] = palette_64[value];
      break;
    default:  // 7, 8, 1, 2
      if (value > 15) {
        error(illegal_function_call);
        return;
      }
      im.palette[entry] = palette_256[value];
      break;
  }
}

void sub_out(int32_t port, int32_t value) {
  if (error_pending()) return;
  unsupported_port_accessed = 0;
  const uint32_t byte = static_cast<uint32_t>(value) & 255;
  switch (port) {
    case port_attribute_controller:
      H3C0_blink_enable.store(static_cast<int32_t>(byte & 8));
      break;
    case port_dac_read_index:
      dac_read.index = static_cast<uint8_t>(byte);
      dac_read.component = 0;
      break;
    case port_dac_write_index:
      H3C8_palette_register_index = static_cast<uint8_t>(byte);
      H3C9_next = 0;
      break;
    case port_dac_data: {
      // Data written while the page has no palette (32-bit) still advances the counters.
      uint32_t* palette = write_page->palette;
      if (palette) {
        uint32_t& entry = palette[H3C8_palette_register_index];
        entry = with_component(entry, H3C9_next, dac_6bit_to_8bit(byte & 63));
      }
      if (++H3C9_next == 3) {
        H3C9_next = 0;
        ++H3C8_palette_register_index;  // wraps at 256
      }
      break;
    }
    default:
      unsupported_port_accessed = 1;
      break;
  }
}

uint32_t func_inp(int32_t port) {
  if (error_pending()) return 0;
  if (port < -65536 || port > 65535) {
    error(overflow);
    return 0;
  }
  port &= 0xFFFF;
  switch (port) {
    case port_dac_data: {
      uint32_t result = 0;
      const uint32_t* palette = write_page->palette;
      if (palette) {
        result = dac_8bit_to_6bit(component_of(palette[dac_read.index], dac_read.component));
      }
      if (++dac_read.component == 3) {
        dac_read.component = 0;
        ++dac_read.index;  // wraps at 256
      }
      return result;
    }
    case port_input_status:
      // Bit 3: vertical retrace. The emulated display refreshes every 16 ms and spends the last
      // of those milliseconds in its retrace; a retrace that happened since the last read is
      // reported once even when the read comes later (the flag is consumed by this read).
      note_vertical_retrace(GetTicks());
      if (std::exchange(vertical_retrace.happened, false)) return 8;
      if (vertical_retrace.in_progress) return 8;
      return 0;
    case port_keyboard_data:
      return keyboard_data_port_read ? static_cast<uint32_t>(keyboard_data_port_read()) : 0;
    default:
      unsupported_port_accessed = 1;
      return 0;
  }
}

void note_vertical_retrace(int64_t ticks_ms) {
  // Program thread only (port reads), so plain statics keep the last refresh seen.
  static int64_t last_refresh = 0;
  const int64_t refresh = ticks_ms / retrace_period_ms;
  const bool in_progress = ticks_ms - refresh * retrace_period_ms == retrace_period_ms - 1;
  // A retrace has ended since the last look (or is under way now).
  if (refresh != last_refresh || in_progress) vertical_retrace.happened = true;
  last_refresh = refresh;
  vertical_retrace.in_progress = in_progress;
}

uint32_t matchcol(int32_t r, int32_t g, int32_t b) {
  if (error_pending()) return 0;
  return nearest_palette_entry(*write_page, r, g, b);
}

uint32_t matchcol(int32_t r, int32_t g, int32_t b, uint32_t image_index) {
  if (error_pending()) return 0;
  if (image_index >= nextimg || !img[image_index].valid) return 0;
  return nearest_palette_entry(img[image_index], r, g, b);
}

uint32_t func__rgb(int32_t r, int32_t g, int32_t b, int32_t handle, int32_t passed) {
  if (error_pending()) return 0;
  r = clamp_component(r);
  g = clamp_component(g);
  b = clamp_component(b);
  const img_struct* target = colour_target(handle, passed);
  if (!target) return 0;
  if (is_32bit(*target)) {
    return 0xFF000000u + static_cast<uint32_t>(r) * 65536u + static_cast<uint32_t>(g) * 256u +
           static_cast<uint32_t>(b);
  }
  return nearest_palette_entry(*target, r, g, b);
}

uint32_t func__rgba(int32_t r, int32_t g, int32_t b, int32_t a, int32_t handle, int32_t passed) {
  if (error_pending()) return 0;
  r = clamp_component(r);
  g = clamp_component(g);
  b = clamp_component(b);
  a = clamp_component(a);
  const img_struct* target = colour_target(handle, passed);
  if (!target) return 0;
  if (is_32bit(*target)) {
    return static_cast<uint32_t>(a) * 16777216u + static_cast<uint32_t>(r) * 65536u +
           static_cast<uint32_t>(g) * 256u + static_cast<uint32_t>(b);
  }
  if (a == 0 && target->transparent_color != -1) {
    return static_cast<uint32_t>(target->transparent_color);
  }
  return nearest_palette_entry(*target, r, g, b);
}

int32_t func__alpha(uint32_t colour, int32_t handle, int32_t passed) {
  if (error_pending()) return 0;
  const img_struct* target = colour_target(handle, passed);
  if (!target) return 0;
  if (is_32bit(*target)) return static_cast<int32_t>(colour >> 24);
  if (colour > target->pixel_mask) {
    error(illegal_function_call);
    return 0;
  }
  return static_cast<int32_t>(colour) == target->transparent_color ? 0 : 255;
}

namespace {

// Red (0), green (1) or blue (2) of a colour on a target.
int32_t colour_component(uint32_t colour, int32_t handle, int32_t passed, int component) {
  if (error_pending()) return 0;
  const img_struct* target = colour_target(handle, passed);
  if (!target) return 0;
  if (is_32bit(*target)) return static_cast<int32_t>(component_of(colour, component));
  if (colour > target->pixel_mask || !target->palette) {
    error(illegal_function_call);
    return 0;
  }
  // Text pages have a 16-bit mask but only 256 palette entries.
  return static_cast<int32_t>(component_of(target->palette[colour & 255], component));
}

// The palette a palette-entry function works on, or null (error raised) when there is none or
// the attribute is not an entry.
uint32_t* palette_entry(int32_t attribute, int32_t handle, int32_t passed) {
  const img_struct* target = colour_target(handle, passed);
  if (!target) return nullptr;
  if (!target->palette || attribute < 0 || attribute > 255) {
    error(illegal_function_call);
    return nullptr;
  }
  return &target->palette[attribute];
}

}  // namespace

int32_t func__red(uint32_t colour, int32_t handle, int32_t passed) {
  return colour_component(colour, handle, passed, 0);
}

int32_t func__green(uint32_t colour, int32_t handle, int32_t passed) {
  return colour_component(colour, handle, passed, 1);
}

int32_t func__blue(uint32_t colour, int32_t handle, int32_t passed) {
  return colour_component(colour, handle, passed, 2);
}

uint32_t func__palettecolor(int32_t attribute, int32_t handle, int32_t passed) {
  if (error_pending()) return 0;
  const uint32_t* entry = palette_entry(attribute, handle, passed);
  return entry ? (*entry | 0xFF000000u) : 0;
}

void sub__palettecolor(int32_t attribute, uint32_t colour, int32_t handle, int32_t passed) {
  if (error_pending()) return;
  uint32_t* entry = palette_entry(attribute, handle, passed);
  if (entry) *entry = colour;
}
