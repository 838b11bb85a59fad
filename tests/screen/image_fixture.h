// The fixture of the image and screen-mode tests: a fresh image table and 80 x 25 text screen
// for every test, and shorthands for the screen and width statements.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "runtime/screen/image.h"
#include "tests/support/runtime_fixture.h"

inline constexpr uint32_t opaque = 0xFF000000u;
inline constexpr size_t text_window = 0xB8000;
inline constexpr size_t mode13_window = 0xA0000;

class ImageTest : public FreshScreenTest {
 protected:
  static void screen(int32_t mode) { zqg_screen(mode, 0, 0, 0, 0, 1); }
  static void width(int32_t columns, int32_t rows, int32_t passed) {
    zqsub_width(0, columns, rows, 0, 0, passed);
  }
  static uint32_t index_of(int32_t handle) { return static_cast<uint32_t>(-handle); }
};
