// The drawing language: moves and their lengths per mode, prefixes, colour, scale and turns, the
// number reader with low-memory variables, sub-strings, fills, and errors that stop the statement.
#include "runtime/screen/draw_macro.h"

#include <cmath>
#include <cstring>
#include <string>

#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/geometry.h"
#include "tests/screen/page_fixture.h"
#include "tests/support/extended_literal.h"

namespace {

class DrawMacroTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    low_block = cmem_dynamic_malloc(256);
    ASSERT_NE(low_block, nullptr);
  }
  void TearDown() override {
    cmem_dynamic_free(low_block);
    PageTest::TearDown();
  }

  static void draw(const std::string& commands) {
    sub_draw(zqs_new_txt_len(commands.data(), static_cast<uint32_t>(commands.size())));
    zqs_cleanup(0, 0);
  }
  // A 640 x 480 page with square pixels, colour 1 and the cursor at (100, 100).
  static void square_page() {
    canvas(640, 480, 12);
    write_page->draw_color = 1;
    set_cursor(100, 100);
  }
  static void expect_cursor(float x, float y) {
    EXPECT_FLOAT_EQ(write_page->x, x);
    EXPECT_FLOAT_EQ(write_page->y, y);
  }
  // Set pixels are exactly those of the horizontal run y, x1..x2 (and any listed elsewhere).
  static void expect_row(int32_t y, int32_t x1, int32_t x2) {
    for (int32_t x = x1; x <= x2; ++x) EXPECT_TRUE(is_set(x, y)) << x << "," << y;
    EXPECT_FALSE(is_set(x1 - 1, y));
    EXPECT_FALSE(is_set(x2 + 1, y));
  }
  static void expect_column(int32_t x, int32_t y1, int32_t y2) {
    for (int32_t y = y1; y <= y2; ++y) EXPECT_TRUE(is_set(x, y)) << x << "," << y;
    EXPECT_FALSE(is_set(x, y1 - 1));
    EXPECT_FALSE(is_set(x, y2 + 1));
  }

  // Offset of a byte of the test's low-memory block from dblock, as references carry it.
  uint16_t offset_of(size_t at) const { return static_cast<uint16_t>(low_block + at - dblock); }
  // "=" reference to a variable of the given type at byte `at` of the block.
  std::string variable(uint8_t type, size_t at) const {
    const uint16_t offset = offset_of(at);
    return std::string{'=', static_cast<char>(type), static_cast<char>(offset & 0xFF),
                       static_cast<char>(offset >> 8)};
  }
  // Stores text at byte `at` of the block with its (length, offset) record at `record_at`, and
  // returns the "X" reference to it.
  std::string substring(const std::string& text, size_t record_at, size_t at) {
    std::memcpy(low_block + at, text.data(), text.size());
    const uint16_t length = static_cast<uint16_t>(text.size()), offset = offset_of(at);
    std::memcpy(low_block + record_at, &length, 2);
    std::memcpy(low_block + record_at + 2, &offset, 2);
    const uint16_t record = offset_of(record_at);
    return std::string{'X', 3, static_cast<char>(record & 0xFF), static_cast<char>(record >> 8)};
  }

  uint8_t* low_block = nullptr;
};

// ---- Moves ----

TEST_F(DrawMacroTest, SquareOnSquarePixelsReturnsToTheStart) {
  square_page();
  draw("R10D10L10U10");
  EXPECT_EQ(take_error(), 0u);
  for (int32_t i = 100; i <= 110; ++i) {
    EXPECT_TRUE(is_set(i, 100));
    EXPECT_TRUE(is_set(i, 110));
    EXPECT_TRUE(is_set(100, i));
    EXPECT_TRUE(is_set(110, i));
  }
  EXPECT_EQ(set_pixels().size(), 40u);
  expect_cursor(100, 100);
}

TEST_F(DrawMacroTest, AllEightDirectionsOnSquarePixels) {
  square_page();
  draw("E5");
  expect_cursor(105, 95);
  draw("F5");
  expect_cursor(110, 100);
  draw("G5");
  expect_cursor(105, 105);
  draw("H5");
  expect_cursor(100, 100);
  EXPECT_TRUE(is_set(103, 97));
  EXPECT_TRUE(is_set(108, 98));
  EXPECT_TRUE(is_set(107, 103));
  EXPECT_TRUE(is_set(102, 102));
  draw("u3d3l3r3");  // letters in either case
  expect_cursor(100, 100);
  EXPECT_TRUE(is_set(97, 100));
}

TEST_F(DrawMacroTest, HorizontalMovesCancelTheAspectOnMode13) {
  canvas(320, 200, 13);
  write_page->draw_color = 1;
  set_cursor(100, 100);
  draw("R12");
  expect_row(100, 100, 112);
  expect_cursor(112, 100);
  draw("BM100,150E12");
  for (int32_t k = 0; k <= 12; ++k) EXPECT_TRUE(is_set(100 + k, 150 - k)) << k;
  expect_cursor(112, 138);
}

TEST_F(DrawMacroTest, LengthDefaultsToOneAndBlanksAreSkipped) {
  square_page();
  draw("U");
  expect_cursor(100, 99);
  EXPECT_TRUE(is_set(100, 100));
  EXPECT_TRUE(is_set(100, 99));
  draw(" R 1 0 ; ");
  expect_cursor(110, 99);
  draw("L-5");  // a negative length reverses the move
  expect_cursor(115, 99);
  draw("R0000000000000000000012D1");  // more digits than a 64-bit number holds, value 12
  expect_cursor(127, 100);
  draw("R1 2U00000000000000003");  // a blank inside a number; 17 digits
  expect_cursor(139, 97);
}

TEST_F(DrawMacroTest, MoveToAPointAbsoluteAndRelative) {
  square_page();
  draw("BM50,50");
  EXPECT_TRUE(set_pixels().empty());
  expect_cursor(50, 50);
  draw("M+10,-5");
  expect_cursor(60, 45);
  EXPECT_TRUE(is_set(55, 48) || is_set(55, 47));
  draw("M 70 , 80");
  expect_cursor(70, 80);
}

TEST_F(DrawMacroTest, NPrefixDrawsAndComesBack) {
  square_page();
  draw("NU20");
  expect_column(100, 80, 100);
  expect_cursor(100, 100);
  draw("NBR5R3");  // the prefixes last for one move only
  expect_row(100, 100, 103);
  expect_cursor(103, 100);
}

// ---- Scale, angle, colour ----

TEST_F(DrawMacroTest, ScaleMultipliesLengthsAndStaysInThePage) {
  square_page();
  draw("S8R5");
  expect_row(100, 100, 110);
  EXPECT_DOUBLE_EQ(write_page->draw_scale, 2.0);
  draw("R5");
  expect_row(100, 100, 120);
  draw("S4R5");
  expect_cursor(125, 100);
}

TEST_F(DrawMacroTest, QuarterTurnsRotateTheMoves) {
  square_page();
  draw("A1U10");
  expect_row(100, 90, 100);
  expect_cursor(90, 100);
  EXPECT_DOUBLE_EQ(write_page->draw_angle, 90.0);
  draw("R10");  // still turned: right becomes up
  expect_cursor(90, 90);
  draw("A2U10");
  expect_cursor(90, 100);
  draw("A0U10");
  expect_cursor(90, 90);
}

TEST_F(DrawMacroTest, TurnAngleInDegrees) {
  square_page();
  draw("TA90U10");
  expect_cursor(90, 100);
  draw("T A-90U10");
  expect_cursor(100, 100);
  draw("TA45BU10");
  EXPECT_NEAR(write_page->x, 100 - 7.0710678, 1e-4);
  EXPECT_NEAR(write_page->y, 100 - 7.0710678, 1e-4);
}

TEST_F(DrawMacroTest, ColourCommandSetsTheLineColourAndThePage) {
  square_page();
  draw("C3R4");
  EXPECT_EQ(pixel(102, 100), 3u);
  EXPECT_EQ(write_page->draw_color, 3u);
  draw("D4");  // the colour carries over to the next statement
  EXPECT_EQ(pixel(104, 102), 3u);
}

// ---- Number reader and variables ----

TEST_F(DrawMacroTest, VariablesOfEveryTypeAreReadFromLowMemory) {
  square_page();
  const int8_t i8 = -3;
  const uint8_t u8 = 200;
  const int16_t i16 = -7;
  const uint16_t u16 = 5;
  const int32_t i32 = 6;
  const uint32_t u32 = 4;
  const int64_t i64 = -2;
  const uint64_t u64 = 9;
  const float f = 2.5f;
  const double d = 1.5;
  // 12 in the 80-bit format: significand 0xC000000000000000, exponent 16383 + 3.
  const uint8_t extended[10] = {0, 0, 0, 0, 0, 0, 0, 0xC0, 0x02, 0x40};
  std::memcpy(low_block + 0, &i8, 1);
  std::memcpy(low_block + 1, &u8, 1);
  std::memcpy(low_block + 2, &i16, 2);
  std::memcpy(low_block + 4, &u16, 2);
  std::memcpy(low_block + 8, &i32, 4);
  std::memcpy(low_block + 12, &u32, 4);
  std::memcpy(low_block + 16, &i64, 8);
  std::memcpy(low_block + 24, &u64, 8);
  std::memcpy(low_block + 32, &f, 4);
  std::memcpy(low_block + 40, &d, 8);
  std::memcpy(low_block + 48, extended, 10);

  const struct {
    uint8_t type;
    size_t at;
    float dx;
  } cases[] = {{1, 0, -3},  {129, 1, 200}, {2, 2, -7},   {130, 4, 5},  {20, 8, 6}, {148, 12, 4},
               {5, 16, -2}, {133, 24, 9},  {4, 32, 2.5}, {8, 40, 1.5}, {6, 48, 12}};
  for (const auto& c : cases) {
    set_cursor(300, 300);
    draw("BR" + variable(c.type, c.at));
    EXPECT_EQ(take_error(), 0u) << int(c.type);
    EXPECT_FLOAT_EQ(write_page->x, 300 + c.dx) << int(c.type);
  }
}

TEST_F(DrawMacroTest, MalformedNumbersAreIllegal) {
  square_page();
  for (const char* bad : {"C2.5", "R5.", "R+", "R-", "C", "S", "S-1", "A4", "A1.5", "TA", "M10",
                          "M10,", "M,5", "M", "P2", "P2,", "R1=", "T", "TB5"}) {
    draw(bad);
    EXPECT_EQ(take_error(), 5u) << bad;
  }
  draw("R" + variable(7, 0));  // unknown type
  EXPECT_EQ(take_error(), 5u);
  draw(std::string("R=\x02", 3));  // reference cut short
  EXPECT_EQ(take_error(), 5u);
  draw("R.5R1.5C2.0");  // fractions with a digit after the point are fine
  EXPECT_EQ(take_error(), 0u);
  expect_cursor(102, 100);
}

// ---- Sub-strings ----

TEST_F(DrawMacroTest, SubStringsRunLikeSubroutines) {
  square_page();
  const std::string inner = substring("R5", 0, 16);
  draw("U5" + inner + "D5" + inner);
  EXPECT_EQ(take_error(), 0u);
  expect_column(100, 95, 100);
  expect_row(95, 100, 105);
  expect_cursor(110, 100);
  EXPECT_TRUE(is_set(108, 100));
}

TEST_F(DrawMacroTest, NestedSubStringsResumeWhereTheyLeftOff) {
  square_page();
  const std::string leaf = substring("R2", 0, 32);
  const std::string middle = substring("D1" + leaf + "D1", 4, 48);
  draw(middle + "U2" + middle);
  EXPECT_EQ(take_error(), 0u);
  expect_cursor(104, 102);
}

TEST_F(DrawMacroTest, SelfReferenceStopsWithError6AndKeepsWhatWasDrawn) {
  canvas(8400, 120, 12);  // wide enough for one pixel per level
  write_page->draw_color = 1;
  set_cursor(100, 100);
  // The string's record lies at byte 0, its text at 16: "R1" then a reference to itself.
  const uint16_t record = offset_of(0);
  const std::string text =
      std::string("R1X\x03", 4) + static_cast<char>(record & 0xFF) + static_cast<char>(record >> 8);
  const std::string self = substring(text, 0, 16);
  draw("C2" + self);
  EXPECT_EQ(take_error(), 6u);
  // Each of the 8192 levels drew one pixel before it went deeper; the lines stay, the cursor
  // does not move.
  expect_row(100, 100, 100 + draw_stack_depth);
  expect_cursor(100, 100);
  EXPECT_EQ(write_page->draw_color, 2u);
}

TEST_F(DrawMacroTest, BadSubStringReferencesAreIllegal) {
  square_page();
  draw("X");
  EXPECT_EQ(take_error(), 5u);
  draw(std::string("X\x03\x01", 3));
  EXPECT_EQ(take_error(), 5u);
  draw(std::string("X\x04\x00\x00", 4));
  EXPECT_EQ(take_error(), 5u);
}

TEST_F(DrawMacroTest, ErrorsStopAtOnceButKeepLinesColourAndScale) {
  square_page();
  draw("C4S8R5QR5");
  EXPECT_EQ(take_error(), 5u);
  expect_row(100, 100, 110);
  expect_cursor(100, 100);
  EXPECT_EQ(write_page->draw_color, 4u);
  EXPECT_DOUBLE_EQ(write_page->draw_scale, 2.0);
}

// ---- Fill ----

TEST_F(DrawMacroTest, PaintFillsAtThePenAndTakesItsColour) {
  square_page();
  sub_line(90, 90, 110, 110, 4, 1, 0, 1 | 8);
  set_cursor(100, 100);
  draw("P2,4R3");
  EXPECT_EQ(take_error(), 0u);
  EXPECT_EQ(pixel(91, 91), 2u);
  EXPECT_EQ(pixel(109, 109), 2u);
  EXPECT_EQ(pixel(90, 95), 4u);
  EXPECT_EQ(pixel(111, 100), 0u);
  expect_cursor(103, 100);
}

TEST_F(DrawMacroTest, PenFollowsTheWindowMapping) {
  canvas(320, 200, 12);
  write_page->draw_color = 1;
  zqg_sub_window(0, 0, 638, 398, 1 | 2);  // half a pixel per unit
  set_cursor(200, 200);                   // pixel (100, 100)
  draw("R10");
  expect_row(100, 100, 110);
  expect_cursor(220, 200);
}

TEST_F(DrawMacroTest, TextPageAndPendingErrors) {
  draw("R5");
  EXPECT_EQ(take_error(), 5u);
  square_page();
  error(9);
  draw("R5");
  EXPECT_EQ(take_error(), 9u);
  EXPECT_TRUE(set_pixels().empty());
}

TEST_F(DrawMacroTest, FarMovesAreClippedAndHarmless) {
  square_page();
  // The pen keeps its extended position within a statement, so the far trip comes back exactly.
  draw("S1000000R1000000000L1000000000");
  EXPECT_EQ(take_error(), 0u);
  expect_row(100, 100, 639);
  expect_cursor(100, 100);
  const double not_a_number = std::nan("");
  std::memcpy(low_block, &not_a_number, 8);
  draw("S4R" + variable(8, 0));
  EXPECT_EQ(take_error(), 0u);
}

// The next extended value up or down from v (a value of normal magnitude, or zero).
extended next_extended(extended v, bool up) {
#if VOST_HARDWARE_EXTENDED
  return std::nextafter(v, up ? 1e9L : -1e9L);
#else
  if (v == 0) return vost::extended_constant(1, up ? 0 : 0x8000);
  uint64_t significand = v.significand();
  uint16_t sign_exponent = v.sign_exponent();
  if ((v > 0) == up) {  // away from zero
    if (++significand == 0) {
      significand = uint64_t{1} << 63;
      ++sign_exponent;
    }
  } else if (significand == uint64_t{1} << 63) {
    significand = ~uint64_t{0};
    --sign_exponent;
  } else {
    --significand;
  }
  return vost::extended_constant(significand, sign_exponent);
#endif
}

// The pen's ends are rounded by an addition instead of the library's conversion: the same whole
// numbers for halves either way of even and odd, values a hair off a half, the ends of the 32-bit
// range and beyond it (held there).
TEST(PenRounding, RoundsLikeTheLibraryConversion) {
  const extended values[] = {
      EXTENDED(0.0),          -EXTENDED(0.0),          EXTENDED(0.5),
      -EXTENDED(0.5),         EXTENDED(1.5),           -EXTENDED(1.5),
      EXTENDED(2.5),          -EXTENDED(2.5),          EXTENDED(0.49999999999999999),
      -EXTENDED(1e-4000),     EXTENDED(7.25),          EXTENDED(1e-300),
      EXTENDED(1000000.5),    -EXTENDED(1000001.5),    EXTENDED(2147483646.5),
      EXTENDED(2147483647.0), -EXTENDED(2147483647.5), -EXTENDED(2147483648.0)};
  auto library = [](extended v) { return static_cast<int64_t>(vost::nearbyint(v)); };
  for (const extended v : values) EXPECT_EQ(round_to_pixel(v), library(v));
  for (int i = -4000; i <= 4000; ++i)
    for (const bool up : {false, true}) {
      const extended v = next_extended(extended(i) / 8, up);
      EXPECT_EQ(round_to_pixel(v), library(v)) << i << "/8 " << (up ? "+" : "-");
    }
  EXPECT_EQ(round_to_pixel(EXTENDED(2147483647.6)), 2147483647);
  EXPECT_EQ(round_to_pixel(-EXTENDED(1e30)), -2147483647 - 1);
}

}  // namespace
