// Circles, ellipses and arcs: outline geometry, default aspect per mode, arcs and radius lines,
// clipping and rejection, blending, errors.
#include "runtime/screen/circle.h"

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "runtime/screen/draw.h"
#include "tests/screen/page_fixture.h"

namespace {

constexpr double pi = std::numbers::pi;
constexpr int colour_given = 2, start_given = 4, end_given = 8, aspect_given = 16;

class CircleTest : public PageTest {
 protected:
  static void circle(double x, double y, double radius, uint32_t colour = 1) {
    sub_circle(x, y, radius, colour, 0, 0, 0, colour_given);
  }
  static void arc(double x, double y, double radius, double start, double end) {
    sub_circle(x, y, radius, 1, start, end, 0, colour_given | start_given | end_given);
  }
  // True when some set pixel lies within one pixel (either axis) of (x, y).
  static bool set_near(int32_t x, int32_t y) {
    for (int32_t dy = -1; dy <= 1; ++dy)
      for (int32_t dx = -1; dx <= 1; ++dx)
        if (is_set(x + dx, y + dy)) return true;
    return false;
  }
  // Every set pixel lies on the ellipse with radii a, b around (cx, cy), to within a pixel and a
  // half, and has at least two set neighbours (the outline is a closed 8-connected curve).
  static void expect_closed_outline(int32_t cx, int32_t cy, double a, double b) {
    const auto pixels = set_pixels();
    ASSERT_FALSE(pixels.empty());
    for (const Pixel& p : pixels) {
      const double nx = (p.x - cx) / a, ny = (p.y - cy) / b;
      const double r = std::sqrt(nx * nx + ny * ny);
      EXPECT_NEAR(r, 1.0, 1.5 / std::min(a, b)) << "pixel " << p.x << "," << p.y;
      int neighbours = 0;
      for (int32_t dy = -1; dy <= 1; ++dy)
        for (int32_t dx = -1; dx <= 1; ++dx)
          if ((dx || dy) && is_set(p.x + dx, p.y + dy)) ++neighbours;
      EXPECT_GE(neighbours, 2) << "gap at " << p.x << "," << p.y;
    }
  }
};

// ---- Outline and aspect ----

TEST_F(CircleTest, Mode13DefaultAspectMakesTheTopPoint42AboveTheCentre) {
  canvas(320, 200, 13);
  circle(160, 100, 50);
  // Horizontal radius 50, vertical 50 * 5/6 = 41.67.
  EXPECT_TRUE(is_set(110, 100));
  EXPECT_TRUE(is_set(210, 100));
  EXPECT_TRUE(is_set(160, 58));
  EXPECT_TRUE(is_set(160, 142));
  EXPECT_FALSE(is_set(160, 57));
  EXPECT_FALSE(is_set(160, 143));
  for (const Pixel& p : set_pixels()) {
    EXPECT_GE(p.x, 110);
    EXPECT_LE(p.x, 210);
    EXPECT_GE(p.y, 58);
    EXPECT_LE(p.y, 142);
  }
  expect_closed_outline(160, 100, 50, 50.0 * 5 / 6);
  EXPECT_EQ(write_page->draw_color, 1u);
}

TEST_F(CircleTest, SquarePixelModesDrawRoundCircles) {
  canvas(640, 480, 12);
  circle(320, 240, 100);
  EXPECT_TRUE(is_set(220, 240));
  EXPECT_TRUE(is_set(420, 240));
  EXPECT_TRUE(is_set(320, 140));
  EXPECT_TRUE(is_set(320, 340));
  expect_closed_outline(320, 240, 100, 100);
}

TEST_F(CircleTest, DefaultAspectFollowsTheDisplayShapeOfTheMode) {
  // Radius 48: vertical radius 48 * 5/12 = 20 on 640 x 200, 48 * 35/48 = 35 on 640 x 350.
  canvas(640, 200, 2);
  circle(320, 100, 48);
  EXPECT_TRUE(is_set(320, 80));
  EXPECT_FALSE(is_set(320, 79));
  EXPECT_TRUE(is_set(272, 100));
  canvas(640, 350, 9);
  circle(320, 175, 48);
  EXPECT_TRUE(is_set(320, 140));
  EXPECT_FALSE(is_set(320, 139));
  EXPECT_TRUE(is_set(368, 175));
}

TEST_F(CircleTest, DefaultAspectIsTheSameDoubleAProgramWouldPass) {
  // At these radii a point of the trace lands within rounding of a pixel edge, so an aspect a
  // hair off the double value moves it.
  struct Case {
    int32_t mode, width;
    double radius, aspect;
  };
  auto outline = [] {
    std::vector<std::pair<int32_t, int32_t>> points;
    for (const Pixel& p : set_pixels()) points.emplace_back(p.x, p.y);
    return points;
  };
  for (const Case c : {Case{13, 320, 6, 5.0 / 6.0}, Case{13, 320, 15, 5.0 / 6.0},
                       Case{2, 640, 6, 5.0 / 12.0}, Case{2, 640, 18, 5.0 / 12.0}}) {
    canvas(c.width, 200, c.mode);
    sub_circle(100, 80, c.radius, 1, 0, 0, c.aspect, colour_given | aspect_given);
    const auto given = outline();
    canvas(c.width, 200, c.mode);
    circle(100, 80, c.radius);
    EXPECT_EQ(outline(), given) << "mode " << c.mode << " radius " << c.radius;
  }
}

TEST_F(CircleTest, AspectAboveOneNarrowsTheWidthAndKeepsTheHeight) {
  canvas(640, 480, 12);
  sub_circle(320, 240, 50, 1, 0, 0, 2.0, colour_given | aspect_given);
  EXPECT_TRUE(is_set(295, 240));
  EXPECT_TRUE(is_set(345, 240));
  EXPECT_FALSE(is_set(294, 240));
  EXPECT_TRUE(is_set(320, 190));
  EXPECT_TRUE(is_set(320, 290));
  expect_closed_outline(320, 240, 25, 50);
}

TEST_F(CircleTest, GivenAspectBelowOneFlattensAModeWithSquarePixels) {
  canvas(640, 480, 12);
  sub_circle(320, 240, 60, 1, 0, 0, 0.5, colour_given | aspect_given);
  EXPECT_TRUE(is_set(380, 240));
  EXPECT_TRUE(is_set(320, 210));
  EXPECT_FALSE(is_set(320, 209));
  expect_closed_outline(320, 240, 60, 30);
}

TEST_F(CircleTest, NegativeAspectAboveMinusOneFlattensByItsDistanceFromMinusOne) {
  canvas(640, 480, 12);
  sub_circle(320, 240, 60, 1, 0, 0, -0.25, colour_given | aspect_given);  // height 60 * 0.75
  EXPECT_TRUE(is_set(380, 240));
  EXPECT_TRUE(is_set(320, 195));
  EXPECT_FALSE(is_set(320, 194));
  canvas(640, 480, 12);
  sub_circle(320, 240, 60, 1, 0, 0, -3.0, colour_given | aspect_given);  // no change
  EXPECT_TRUE(is_set(320, 180));
  EXPECT_TRUE(is_set(380, 240));
}

TEST_F(CircleTest, RadiusZeroSetsTheCentreOnly) {
  canvas(64, 64, 13);
  circle(20, 30, 0);
  const auto pixels = set_pixels();
  ASSERT_EQ(pixels.size(), 1u);
  EXPECT_EQ(pixels[0].x, 20);
  EXPECT_EQ(pixels[0].y, 30);
}

TEST_F(CircleTest, CentreRoundsHalvesAwayFromZero) {
  canvas(200, 200, 12);
  circle(100.5, 80.5, 10);  // centre (101, 81)
  EXPECT_TRUE(is_set(111, 81));
  EXPECT_TRUE(is_set(91, 81));
  EXPECT_FALSE(is_set(90, 81));
}

// ---- Arcs and radius lines ----

TEST_F(CircleTest, NegativeStartDrawsTheUpperLeftArcAndARadiusLineUp) {
  canvas(200, 200, 12);
  arc(100, 100, 50, -pi / 2, pi);
  // The radius line runs from the centre straight up.
  for (int32_t k = 0; k <= 49; ++k) EXPECT_TRUE(is_set(100, 100 - k)) << k;
  // The arc: from straight up counter-clockwise to the left.
  EXPECT_TRUE(is_set(50, 100));
  EXPECT_TRUE(set_near(65, 65));  // 135 degrees
  // A point is tested with the angle of the step that sets it, one step after it was computed,
  // so the arc may reach one pixel past its end.
  for (const Pixel& p : set_pixels()) {
    EXPECT_LE(p.x, 101) << p.x << "," << p.y;
    EXPECT_LE(p.y, 100) << p.x << "," << p.y;
  }
}

TEST_F(CircleTest, NegativeEndDrawsARadiusLineToTheEnd) {
  canvas(200, 200, 12);
  arc(100, 100, 40, 0, -pi);
  // Line from the centre to the left end (cos pi * 40 + 0.5 truncated: -39).
  for (int32_t x = 61; x <= 100; ++x) EXPECT_TRUE(is_set(x, 100)) << x;
  EXPECT_TRUE(is_set(140, 100));
  EXPECT_TRUE(is_set(100, 60));
  for (const Pixel& p : set_pixels()) EXPECT_LE(p.y, 100);
}

TEST_F(CircleTest, StartAboveEndDrawsThroughAngleZero) {
  canvas(200, 200, 12);
  arc(100, 100, 50, 3 * pi / 2, pi / 2);
  EXPECT_TRUE(is_set(150, 100));
  EXPECT_TRUE(set_near(135, 65));   // 45 degrees
  EXPECT_TRUE(set_near(135, 135));  // 315 degrees
  EXPECT_FALSE(set_near(65, 65));
  EXPECT_FALSE(set_near(50, 100));
  for (const Pixel& p : set_pixels()) EXPECT_GE(p.x, 99) << p.x << "," << p.y;
}

TEST_F(CircleTest, StartBelowEndDrawsTheArcBetween) {
  canvas(200, 200, 12);
  arc(100, 100, 50, pi / 4, 3 * pi / 4);  // the top quarter
  EXPECT_TRUE(is_set(100, 50));
  EXPECT_FALSE(set_near(150, 100));
  EXPECT_FALSE(set_near(50, 100));
  for (const Pixel& p : set_pixels()) {
    EXPECT_LT(p.y, 100 - 30) << p.x << "," << p.y;
    EXPECT_NEAR(p.x, 100, 37) << p.x << "," << p.y;
  }
}

// ---- Cursor, clipping, rejection ----

TEST_F(CircleTest, WhollyOutsideTheViewportMovesTheCursorOnly) {
  canvas(320, 200, 13);
  write_page->draw_color = 7;
  circle(-100, 50, 20, 3);
  EXPECT_TRUE(set_pixels().empty());
  EXPECT_FLOAT_EQ(write_page->x, -100);
  EXPECT_FLOAT_EQ(write_page->y, 50);
  EXPECT_EQ(write_page->draw_color, 7u);
  EXPECT_EQ(take_error(), 0u);
}

TEST_F(CircleTest, RelativeCentreAddsTheCursor) {
  canvas(200, 200, 12);
  set_cursor(100, 80);
  sub_circle(10, 5, 20, 1, 0, 0, 0, 1 | colour_given);
  EXPECT_TRUE(is_set(130, 85));
  EXPECT_TRUE(is_set(90, 85));
  EXPECT_FLOAT_EQ(write_page->x, 110);
  EXPECT_FLOAT_EQ(write_page->y, 85);
}

TEST_F(CircleTest, PartlyOutsideTheViewportIsClipped) {
  canvas(200, 200, 12);
  zqg_sub_view(50, 50, 150, 150, 0, 0, 1 | 2);
  circle(50, 100, 30);
  const auto pixels = set_pixels();
  ASSERT_FALSE(pixels.empty());
  EXPECT_TRUE(is_set(80, 100));
  for (const Pixel& p : pixels) EXPECT_GE(p.x, 50);
}

TEST_F(CircleTest, WindowMappingScalesCentreAndRadius) {
  canvas(320, 200, 13);
  // Window of 639 x 399 units on the 320 x 200 viewport: half a pixel per unit.
  zqg_sub_window(0, 0, 638, 398, 1 | 2);
  circle(320, 200, 100);
  EXPECT_TRUE(is_set(210, 100));
  EXPECT_TRUE(is_set(110, 100));
  EXPECT_FALSE(is_set(211, 100));
  EXPECT_FLOAT_EQ(write_page->x, 320);
}

TEST_F(CircleTest, DefaultColourIsThePagesColour) {
  canvas(100, 100, 13);
  write_page->color = 9;
  sub_circle(50, 50, 10, 0, 0, 0, 0, 0);
  EXPECT_EQ(pixel(60, 50), 9u);
  EXPECT_EQ(write_page->draw_color, 9u);
}

// ---- Blending ----

TEST_F(CircleTest, HalfTransparentCircleBlendsTheAxisEndsTwice) {
  canvas(200, 200, 32);
  circle(100, 100, 40, 0x80FF0000u);
  // Black under 50% red once gives 0x7F, twice 0xBE.
  EXPECT_EQ(pixel(140, 100) & 0xFFFFFF, 0xBE0000u);
  EXPECT_EQ(pixel(60, 100) & 0xFFFFFF, 0xBE0000u);
  int once = 0;
  for (const Pixel& p : set_pixels())
    if ((pixel(p.x, p.y) & 0xFFFFFF) == 0x7F0000) ++once;
  EXPECT_GT(once, 100);
}

// ---- The unclipped trace against the clipped one ----

TEST_F(CircleTest, ShapesInsideTheViewportMatchTheClippedTrace) {
  struct Shape {
    double x, y, radius, start, end, aspect;
    int32_t passed;
  };
  const int32_t arc_given = colour_given | start_given | end_given;
  const Shape shapes[] = {
      {40, 30, 20, 0, 0, 0, colour_given},                    // default aspect of the mode
      {40, 30, 0, 0, 0, 0, colour_given},                     // the centre point only
      {40.5, 29.5, 1.5, 0, 0, 0, colour_given},               // halves round away from zero
      {40, 30, 25, 0, 0, 2.5, colour_given | aspect_given},   // flattened in x
      {40, 30, 25, 0, 0, -0.3, colour_given | aspect_given},  // negative aspect
      {40, 30, 18, 0.5, 4.0, 0, arc_given},                   // an arc
      {40, 30, 18, 4.0, 0.5, 0, arc_given},                   // through angle 0
      {40, 30, 18, -pi / 2, -pi, 0, arc_given},               // both radius lines
      {40, 30, 18, 0, sub_circle_pi2, 0, arc_given},          // the whole turn, given
      {12, 10, 30, 1, 2, 0, arc_given | aspect_given},        // clipped: both paths clip
  };
  const uint32_t colours[][2] = {
      {13, 0x1234567A}, {1, 6}, {32, 0xFF102030}, {32, 0x80FFEEDD}, {32, 0xC8336699}};
  for (const auto& pair : colours) {
    const uint32_t mode = pair[0], colour = pair[1];  // named, so that the lambda can take them
    SCOPED_TRACE(colour);
    expect_paths_agree(80, 60, static_cast<int32_t>(mode), [&](DrawPath path) {
      for (const Shape& s : shapes)
        circle_statement(s.x, s.y, s.radius, colour, s.start, s.end, s.aspect, s.passed, path);
      zqg_sub_view(10, 5, 70, 55, 0, 0, 1);  // a view offset, the centre at pixel (40, 30)
      for (const double radius : {22.0, 25.0, 30.0, 31.0})  // fits, touches, crosses the edges
        circle_statement(30, 25, radius, colour ^ 1, 0, 0, 0.5, colour_given | aspect_given, path);
    });
  }
}

// ---- Errors ----

TEST_F(CircleTest, TextPageIsAnIllegalFunctionCall) {
  ASSERT_TRUE(write_page->text);
  const float x = write_page->x;
  circle(10, 10, 5);
  EXPECT_EQ(take_error(), 5u);
  EXPECT_EQ(write_page->x, x);
}

TEST_F(CircleTest, AnglesBeyondAFullTurnAreIllegalAndLeaveTheCursor) {
  canvas(100, 100, 12);
  set_cursor(7, 8);
  arc(50, 50, 10, 0, 7.0);
  EXPECT_EQ(take_error(), 5u);
  arc(50, 50, 10, -7.0, 1.0);
  EXPECT_EQ(take_error(), 5u);
  EXPECT_TRUE(set_pixels().empty());
  EXPECT_FLOAT_EQ(write_page->x, 7);
  EXPECT_FLOAT_EQ(write_page->y, 8);
  // A full turn itself is allowed.
  arc(50, 50, 10, 0, sub_circle_pi2);
  EXPECT_EQ(take_error(), 0u);
  EXPECT_TRUE(is_set(60, 50));
}

TEST_F(CircleTest, NothingHappensWhileAnErrorIsPending) {
  canvas(100, 100, 12);
  error(9);
  circle(50, 50, 10);
  EXPECT_EQ(take_error(), 9u);
  EXPECT_TRUE(set_pixels().empty());
}

TEST_F(CircleTest, NonFiniteOrHugeSizesAreHarmless) {
  canvas(100, 100, 12);
  circle(50, 50, std::nan(""));
  circle(std::nan(""), 50, 10);
  circle(1e300, 1e300, 5);
  circle(50, 50, 1e30);  // centre inside, outline far outside: rejected by nothing, drawn nowhere
  EXPECT_EQ(take_error(), 0u);
  EXPECT_TRUE(set_pixels().empty());
}

}  // namespace
