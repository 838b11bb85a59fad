// Colours, palettes and the emulated VGA palette ports.
//
// The colour statement sets a page's foreground and background, or in the older modes rewrites
// palette entries; the palette statement and the DAC ports 0x3C7/0x3C8/0x3C9 write 6-bit colour
// components into the shared 256-entry palette of the screen (or of an image). Components go from
// 6 to 8 bits as round(c * 256/63 - 1/2) in extended precision, which is floor(c * 256 / 63) for
// 0..62 and 255 for 63; reads of port 0x3C9 invert that exactly.
//
// In mode 10 the palette holds no colours: entries 4..7 hold the attribute numbers (0..8) of
// colours 0..3, which the presentation maps through pal_mode10.
//
// Program thread only. Every statement does nothing (every function returns 0) while an error is
// pending; out-of-range values raise error 5 and change nothing, a bad image handle error 258.
#pragma once

#include <atomic>
#include <cstdint>

struct img_struct;

// Palette port state of the write side: the entry that port 0x3C9 writes next (set by port 0x3C8,
// a byte) and its component written next (0 red, 1 green, 2 blue).
extern uint8_t H3C8_palette_register_index;
extern uint8_t H3C9_next;
// Non-zero while attribute bit 7 of text cells means blink (else a bright background). Written
// by port 0x3C0 on the program thread; read by frame preparation on the main loop thread, which
// applies it from the next frame on. Publishes nothing else.
extern std::atomic<int32_t> H3C0_blink_enable;
// Set by a port access this emulation does not implement; cleared by every port write.
extern int32_t unsupported_port_accessed;
// Reads the keyboard data port (0x60). The keyboard installs its reader at start-up
// (runtime_init); until then the port reads 0.
extern int32_t (*keyboard_data_port_read)();

// 6-bit DAC component (0..63) to 8 bits, and an 8-bit component back to 6 bits.
uint32_t dac_6bit_to_8bit(uint32_t component);
uint32_t dac_8bit_to_6bit(uint32_t component);

// COLOR: passed bit 1 foreground, 2 background, 4 border.
enum color_passed : int32_t { color_foreground = 1, color_background = 2, color_border = 4 };
void zqg_sub_color(uint32_t foreground, uint32_t background, uint32_t border, int32_t passed);
// PALETTE attribute, colour (passed non-zero), or PALETTE alone (passed 0: default palette).
void zqg_palette(int32_t attribute, int32_t colour, int32_t passed);
// OUT and INP.
void sub_out(int32_t port, int32_t value);
uint32_t func_inp(int32_t port);
// The emulated display's refresh period: a vertical retrace ends every retrace_period_ms and takes
// its last millisecond. Brings the retrace state port 0x3DA reports up to
// date for the tick-source time ticks_ms; the read of port 0x3DA calls it, so no thread has to
// keep the flags ticking.
constexpr int64_t retrace_period_ms = 16;
void note_vertical_retrace(int64_t ticks_ms);

// Nearest palette entry (least sum of absolute component differences; first of equals) on the
// write page, or on the image with the given index.
uint32_t matchcol(int32_t r, int32_t g, int32_t b);
uint32_t matchcol(int32_t r, int32_t g, int32_t b, uint32_t image_index);

// _RGB / _RGB32-style colour builders: on a 32-bit target an 0xAARRGGBB value, on an indexed
// target the nearest palette entry. passed bit 1: handle given (else the write page).
enum colour_target_passed : int32_t { colour_handle_given = 1 };
uint32_t func__rgb(int32_t r, int32_t g, int32_t b, int32_t handle, int32_t passed);
uint32_t func__rgba(int32_t r, int32_t g, int32_t b, int32_t a, int32_t handle, int32_t passed);
// Components of a colour on a target (32-bit: bytes of the value; indexed: of the palette entry).
int32_t func__alpha(uint32_t colour, int32_t handle, int32_t passed);
int32_t func__red(uint32_t colour, int32_t handle, int32_t passed);
int32_t func__green(uint32_t colour, int32_t handle, int32_t passed);
int32_t func__blue(uint32_t colour, int32_t handle, int32_t passed);
// Palette entry as an opaque 32-bit colour, and storing a 32-bit colour into an entry.
uint32_t func__palettecolor(int32_t attribute, int32_t handle, int32_t passed);
void sub__palettecolor(int32_t attribute, uint32_t colour, int32_t handle, int32_t passed);
