// The fixture of the text tests: the headless runtime with control codes on, temporary strings
// released after each test, and shorthands to set up screens, print and read cells back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "runtime/core/strings.h"
#include "runtime/screen/image.h"
#include "runtime/screen/text.h"
#include "tests/support/runtime_fixture.h"

class TextTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    temporary_base_ = zqs_tmp_list_nexti;
    no_control_characters = 0;
    no_control_characters2 = 0;
  }
  void TearDown() override {
    RuntimeTest::TearDown();
    zqs_cleanup(temporary_base_, 0);
  }

  // A fresh 80x25 text screen with the window of a new page (rows 1 to 24).
  static void text_screen_80x25() {
    zqg_screen(2, 0, 0, 0, 0, 1);
    zqg_screen(0, 0, 0, 0, 0, 1);
    ASSERT_EQ(write_page->width, 80);
    ASSERT_EQ(write_page->height, 25);
    ASSERT_EQ(write_page->bottom_row, 24);
  }
  // A fresh screen in the given mode (going through another mode first, so that nothing of an
  // earlier test's page is left).
  static void screen_mode(int32_t mode) {
    zqg_screen(mode == 1 ? 2 : 1, 0, 0, 0, 0, 1);
    zqg_screen(mode, 0, 0, 0, 0, 1);
    ASSERT_EQ(write_page->mode, mode);
  }

  static void print(const std::string& text, bool new_line) {
    zqs_print(zqs_new_txt_len(text.data(), static_cast<uint32_t>(text.size())), new_line ? 1 : 0);
  }
  static void locate(int32_t row, int32_t column) { zqg_sub_locate(row, column, 0, 0, 0, 3); }

  // Characters of one row of the write page (text pages).
  static std::string row_text(int32_t row) {
    std::string text;
    const uint8_t* cell = write_page->pixels + (row - 1) * write_page->width * 2;
    for (int32_t column = 0; column < write_page->width; ++column) text += char(cell[column * 2]);
    return text;
  }
  static uint8_t attribute_at(int32_t row, int32_t column) {
    return write_page->pixels[((row - 1) * write_page->width + column - 1) * 2 + 1];
  }
  // Fills every row r with the letter 'a' + r - 1 (rows beyond 26 wrap round).
  static void fill_rows_with_letters() {
    for (int32_t row = 1; row <= write_page->height; ++row) {
      uint8_t* cell = write_page->pixels + (row - 1) * write_page->width * 2;
      for (int32_t column = 0; column < write_page->width; ++column) {
        cell[column * 2] = static_cast<uint8_t>('a' + (row - 1) % 26);
      }
    }
  }
  static uint32_t pixel(int32_t x, int32_t y) {
    return write_page->pixels[y * write_page->width + x];
  }

  uint32_t temporary_base_ = 0;
};
