// Window geometry: where a frame goes in the window, and the window size it asks for.
#include "runtime/host/window_geometry.h"

#include <gtest/gtest.h>

namespace {

// ---------------------------------------------------------------------------------------------
// Scaling

TEST(PresentScaling, SquarePixelsIn1280x1024Give799Rows) {
  Environment2d e = compute_environment_2d(1280, 1024, 640, 400, 2, 0, 0);
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
  Environment2d e = compute_environment_2d(1920, 1080, 640, 480, 2, 1, 0);
  EXPECT_EQ(e.letterbox, 1);
  EXPECT_EQ(e.x1, 240);
  EXPECT_EQ(e.x2, 1679);
  EXPECT_EQ(e.scaled_width, 1440);
  EXPECT_EQ(e.y1, 0);
  EXPECT_EQ(e.y2, 1079);
  EXPECT_EQ(e.smooth, 1);
}

TEST(PresentScaling, StretchedFillsTheWindow) {
  Environment2d e = compute_environment_2d(1280, 1024, 640, 400, 1, 0, 0);
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
  Environment2d e = compute_environment_2d(800, 600, 640, 400, 0, 1, 0);
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
  environment_2d__screen_x1 = 240;
  environment_2d__screen_y1 = 0;
  environment_2d__screen_x_scale = 2.25f;
  environment_2d__screen_y_scale = 2.25f;
  EXPECT_EQ(environment_2d__get_window_x1_coord(0), 240);
  EXPECT_EQ(environment_2d__get_window_x1_coord(2), 240 + 4);  // 4.5 rounds to even
  EXPECT_EQ(environment_2d__get_window_x2_coord(0), 240 + 1);  // 1.25 rounds down
  EXPECT_EQ(environment_2d__get_window_y2_coord(639), 1439);
  WindowRect r = environment_2d__screen_to_window_rect(0, 0, 639, 479);
  EXPECT_EQ(r.left, 240);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.width, 1440);
  EXPECT_EQ(r.height, 1080);
  EXPECT_EQ(r.right, 1679);
  EXPECT_EQ(r.bottom, 1079);
  // Corners given the other way round give the same size.
  r = environment_2d__screen_to_window_rect(9, 9, 0, 0);
  EXPECT_EQ(r.width, 23);  // 10 * 2.25 + 0.99
  environment_2d__screen_x1 = 0;
  environment_2d__screen_x_scale = environment_2d__screen_y_scale = 1.0f;
}

// ---------------------------------------------------------------------------------------------
// Window size

class PresentWindowSize : public ::testing::Test {
 protected:
  void SetUp() override {
    resize_snapback_x = resize_snapback_y = 0;
    resize_auto_accept_aspect = 0.0f;
  }
};

TEST_F(PresentWindowSize, SnapsBackToTheFrameSize) {
  WindowSizeInput in;
  in.frame_w = 640;
  in.frame_h = 400;
  in.window_w = in.window_prev_w = 640;
  in.window_h = in.window_prev_h = 400;
  EXPECT_FALSE(decide_window_size(in).reshape);
  EXPECT_FLOAT_EQ(resize_auto_ideal_aspect, 1.6f);
  EXPECT_EQ(display_required_x, 640);

  in.window_w = 900;
  in.window_h = 700;
  WindowSizeAction a = decide_window_size(in);
  EXPECT_TRUE(a.reshape);
  EXPECT_EQ(a.w, 640);
  EXPECT_EQ(a.h, 400);

  // Without snap-back a dragged window keeps its size until the frame size changes.
  in.snapback = 0;
  EXPECT_FALSE(decide_window_size(in).reshape);
  in.frame_w = 320;
  a = decide_window_size(in);
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
  WindowSizeAction a = decide_window_size(in);
  EXPECT_TRUE(a.reshape);
  EXPECT_EQ(a.w, 800);
  EXPECT_EQ(a.h, 500);
  EXPECT_FLOAT_EQ(resize_auto_accept_aspect, 1.6f);
  // At the accepted aspect nothing more happens.
  in.window_prev_h = 500;
  in.window_w = 800;
  EXPECT_FALSE(decide_window_size(in).reshape);

  // Only the width changed: the height follows it.
  resize_auto_accept_aspect = 0.0f;
  in.window_prev_w = 640;
  in.window_prev_h = 400;
  in.window_w = 1000;
  in.window_h = 400;
  a = decide_window_size(in);
  EXPECT_EQ(a.w, 1000);
  EXPECT_EQ(a.h, 624);  // 1000 / 1.6f is just below 625

  // Both changed: the one that changed more wins (here the height).
  resize_auto_accept_aspect = 0.0f;
  in.window_w = 700;
  in.window_h = 600;
  a = decide_window_size(in);
  EXPECT_EQ(a.h, 600);
  EXPECT_EQ(a.w, 960);
}

}  // namespace
