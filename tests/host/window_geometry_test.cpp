// Window geometry: where a frame goes in the window, and the window size it asks for.
#include "runtime/host/window_geometry.h"

#include <gtest/gtest.h>

namespace {

// ---------------------------------------------------------------------------------------------
// Scaling

TEST(PresentScaling, SquarePixelsIn1280x1024Give799Rows) {
  WindowGeometry e = compute_environment_2d(1280, 1024, 640, 400, 2, 0, 0);
  EXPECT_EQ(e.letterbox, 2);
  EXPECT_EQ(e.x1, 0);
  EXPECT_EQ(e.x2, 1279);
  EXPECT_EQ(e.y1, 113);
  EXPECT_EQ(e.y2, 911);
  EXPECT_EQ(e.scaled_height, 799);
  EXPECT_EQ(e.scaled_width, 1280);
  EXPECT_FLOAT_EQ(e.x_scale, 2.0f);
  EXPECT_FLOAT_EQ(e.y_scale, 799.0f / 400.0f);
}

TEST(PresentScaling, SquarePixels640x480In1920x1080AreCentred) {
  WindowGeometry e = compute_environment_2d(1920, 1080, 640, 480, 2, 1, 0);
  EXPECT_EQ(e.letterbox, 1);
  EXPECT_EQ(e.x1, 240);
  EXPECT_EQ(e.x2, 1679);
  EXPECT_EQ(e.scaled_width, 1440);
  EXPECT_EQ(e.y1, 0);
  EXPECT_EQ(e.y2, 1079);
  EXPECT_EQ(e.smooth, 1);
}

TEST(PresentScaling, StretchedFillsTheWindow) {
  WindowGeometry e = compute_environment_2d(1280, 1024, 640, 400, 1, 0, 0);
  EXPECT_EQ(e.letterbox, 0);
  EXPECT_EQ(e.x2, 1279);
  EXPECT_EQ(e.y2, 1023);
  EXPECT_FLOAT_EQ(e.y_scale, 2.56f);
  // Square pixels with matching ratios need no bars.
  e = compute_environment_2d(1280, 800, 640, 400, 2, 0, 0);
  EXPECT_EQ(e.letterbox, 0);
  EXPECT_EQ(e.scaled_width, 1280);
  EXPECT_EQ(e.scaled_height, 800);
}

TEST(PresentScaling, WindowedFramesScaleOnlyWithAutoResize) {
  WindowGeometry e = compute_environment_2d(800, 600, 640, 400, 0, 1, 0);
  EXPECT_EQ(e.x1, 0);
  EXPECT_EQ(e.x2, 639);
  EXPECT_EQ(e.y2, 399);
  EXPECT_FLOAT_EQ(e.x_scale, 1.0f);
  EXPECT_EQ(e.smooth, 0);
  e = compute_environment_2d(800, 600, 640, 400, 0, 0, 2);
  EXPECT_EQ(e.x2, 799);
  EXPECT_EQ(e.y2, 599);
  EXPECT_EQ(e.smooth, 1);
  e = compute_environment_2d(800, 600, 640, 400, 0, 0, 1);
  EXPECT_EQ(e.smooth, 0);
  // Same size: one to one, never smoothed.
  e = compute_environment_2d(640, 400, 640, 400, 1, 1, 0);
  EXPECT_EQ(e.x2, 639);
  EXPECT_EQ(e.smooth, 0);
  EXPECT_FLOAT_EQ(e.x_scale, 1.0f);
}

TEST(PresentScaling, WindowCoordinatesOfFrameRectangles) {
  WindowGeometry g = compute_environment_2d(1920, 1080, 640, 480, 2, 0, 0);
  ASSERT_EQ(g.x1, 240);
  ASSERT_FLOAT_EQ(g.x_scale, 2.25f);
  EXPECT_EQ(environment_2d__screen_to_window_rect(g, 0, 0, 0, 0).left, 240);
  EXPECT_EQ(environment_2d__screen_to_window_rect(g, 2, 0, 2, 0).left, 240 + 4);  // 4.5: to even
  EXPECT_EQ(environment_2d__screen_to_window_rect(g, 0, 0, 0, 0).right, 240 + 2);
  EXPECT_EQ(environment_2d__screen_to_window_rect(g, 0, 0, 639, 639).bottom, 1439);
  WindowRect r = environment_2d__screen_to_window_rect(g, 0, 0, 639, 479);
  EXPECT_EQ(r.left, 240);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.width, 1440);
  EXPECT_EQ(r.height, 1080);
  EXPECT_EQ(r.right, 1679);
  EXPECT_EQ(r.bottom, 1079);
  // Corners given the other way round give the same size.
  r = environment_2d__screen_to_window_rect(g, 9, 9, 0, 0);
  EXPECT_EQ(r.width, 23);  // 10 * 2.25 + 0.99
  // The geometry carries the sizes it was computed for.
  EXPECT_EQ(g.window_width, 1920);
  EXPECT_EQ(g.frame_height, 480);
}

// ---------------------------------------------------------------------------------------------
// Window size

class PresentWindowSize : public ::testing::Test {
 protected:
  WindowSizeMemory memory;
  WindowSizeAction decide(const WindowSizeInput& in) { return decide_window_size(in, memory); }
};

TEST_F(PresentWindowSize, SnapsBackToTheFrameSize) {
  WindowSizeInput in;
  in.frame_w = 640;
  in.frame_h = 400;
  in.window_w = in.window_prev_w = 640;
  in.window_h = in.window_prev_h = 400;
  EXPECT_FALSE(decide(in).reshape);
  EXPECT_FLOAT_EQ(memory.ideal_aspect, 1.6f);
  EXPECT_EQ(memory.snapback_w, 640);

  in.window_w = 900;
  in.window_h = 700;
  WindowSizeAction a = decide(in);
  EXPECT_TRUE(a.reshape);
  EXPECT_EQ(a.w, 640);
  EXPECT_EQ(a.h, 400);

  // Without snap-back a dragged window keeps its size until the frame size changes.
  in.snapback = 0;
  EXPECT_FALSE(decide(in).reshape);
  in.frame_w = 320;
  a = decide(in);
  EXPECT_TRUE(a.reshape);
  EXPECT_EQ(a.w, 320);
}

TEST_F(PresentWindowSize, AutoResizeRestoresTheFrameAspect) {
  WindowSizeInput in;
  in.frame_w = 640;
  in.frame_h = 400;
  in.auto_scale = 1;
  in.snapback = 0;
  // Only the height changed: the width follows it.
  in.window_prev_w = 640;
  in.window_prev_h = 400;
  in.window_w = 640;
  in.window_h = 500;
  WindowSizeAction a = decide(in);
  EXPECT_TRUE(a.reshape);
  EXPECT_EQ(a.w, 800);
  EXPECT_EQ(a.h, 500);
  EXPECT_FLOAT_EQ(memory.accept_aspect, 1.6f);
  // At the accepted aspect nothing more happens.
  in.window_prev_h = 500;
  in.window_w = 800;
  EXPECT_FALSE(decide(in).reshape);

  // Only the width changed: the height follows it.
  memory.accept_aspect = 0.0f;
  in.window_prev_w = 640;
  in.window_prev_h = 400;
  in.window_w = 1000;
  in.window_h = 400;
  a = decide(in);
  EXPECT_EQ(a.w, 1000);
  EXPECT_EQ(a.h, 624);  // 1000 / 1.6f is just below 625

  // Both changed: the one that changed more wins (here the height).
  memory.accept_aspect = 0.0f;
  in.window_w = 700;
  in.window_h = 600;
  a = decide(in);
  EXPECT_EQ(a.h, 600);
  EXPECT_EQ(a.w, 960);
}

// ---------------------------------------------------------------------------------------------
// The screen changes size

TEST(WindowOnScreen, WithoutAWindowManagerFullScreenCoversTheScreenFromTheCorner) {
  const WindowBox full{0, 0, 1280, 800};
  EXPECT_EQ(window_box_on_screen(full, 1024, 768, true, false), (WindowBox{0, 0, 1024, 768}));
  EXPECT_EQ(window_box_on_screen(full, 1600, 1200, true, false), (WindowBox{0, 0, 1600, 1200}));
  EXPECT_EQ(window_box_on_screen({1, 1, 1280, 800}, 1280, 800, true, false), full);
  EXPECT_FALSE(window_box_on_screen(full, 1280, 800, true, false));  // already there
}

TEST(WindowOnScreen, WithoutAWindowManagerAWindowStaysOnTheScreen) {
  // Shrinking 1920 x 1080 to 1024 x 768 moves a window near the far corner back, size kept.
  EXPECT_EQ(window_box_on_screen({1500, 900, 320, 200}, 1024, 768, false, false),
            (WindowBox{704, 568, 320, 200}));
  EXPECT_FALSE(window_box_on_screen({100, 100, 320, 200}, 1024, 768, false, false));
  // Larger than the screen: its top-left corner stays on it.
  EXPECT_EQ(window_box_on_screen({50, 50, 1280, 800}, 1024, 768, false, false),
            (WindowBox{0, 0, 1280, 800}));
  EXPECT_EQ(window_box_on_screen({-30, -5, 320, 200}, 1024, 768, false, false),
            (WindowBox{0, 0, 320, 200}));
}

TEST(WindowOnScreen, AWindowManagerPlacesTheWindowItself) {
  EXPECT_FALSE(window_box_on_screen({0, 0, 1280, 800}, 1024, 768, true, true));
  EXPECT_FALSE(window_box_on_screen({1500, 900, 320, 200}, 1024, 768, false, true));
  // The largest window drawn into follows the screen, never below the opening 640 x 400.
  EXPECT_EQ(largest_window(1600, 1200), (WindowBox{0, 0, 1600, 1200}));
  EXPECT_EQ(largest_window(320, 240), (WindowBox{0, 0, 640, 400}));
}

}  // namespace
