// Window geometry: where a frame goes in the window, and the window size it asks for.
#include "runtime/host/window_geometry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/window_follow.h"

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

// The player's scaling options for a 320 x 200 frame on today's screens. state is the Alt+Enter
// cycle's: 1 stretched, 2 stretched smooth, 3 square pixels, 4 square pixels smooth.
TEST(PresentScaling, OptionsPlaceTheFrameOnLargeScreens) {
  using S = ScaleMode;
  using A = AspectMode;
  struct Row {
    int32_t screen_w, screen_h;
    S scale;
    A aspect;
    int state;
    int32_t x1, y1, width, height, smooth, prescale, letterbox;
  };
  const Row rows[] = {
      // Stretched states fill the screen whatever the aspect.
      {1920, 1080, S::stretch, A::four_three, 1, 0, 0, 1920, 1080, 0, 1, 0},
      {1920, 1080, S::stretch, A::four_three, 2, 0, 0, 1920, 1080, 1, 1, 0},
      // Square-pixel states: 16:10 by default, 4:3 with the option.
      {1920, 1080, S::stretch, A::square, 3, 96, 0, 1728, 1080, 0, 1, 1},
      {1920, 1080, S::stretch, A::four_three, 3, 240, 0, 1440, 1080, 0, 1, 1},
      {3840, 2160, S::stretch, A::four_three, 4, 480, 0, 2880, 2160, 1, 1, 1},
      // Integer: the same whole multiple in every state, never smoothed, borders all round.
      {1920, 1080, S::integer, A::square, 1, 160, 40, 1600, 1000, 0, 1, 3},
      {1920, 1080, S::integer, A::square, 2, 160, 40, 1600, 1000, 0, 1, 3},
      {1920, 1080, S::integer, A::square, 4, 160, 40, 1600, 1000, 0, 1, 3},
      {3840, 2160, S::integer, A::square, 1, 320, 80, 3200, 2000, 0, 1, 3},
      // Integer 4:3: whole rows (5 or 10 screen rows each), the width following the shape.
      {1920, 1080, S::integer, A::four_three, 3, 293, 40, 1333, 1000, 0, 1, 3},
      {3840, 2160, S::integer, A::four_three, 1, 586, 80, 2667, 2000, 0, 1, 3},
      // Sharp: the largest rectangle of the shape, enlarged by the whole multiple below it first.
      {1920, 1080, S::sharp, A::square, 1, 96, 0, 1728, 1080, 1, 5, 1},
      {1920, 1080, S::sharp, A::four_three, 4, 240, 0, 1440, 1080, 1, 4, 1},
      {3840, 2160, S::sharp, A::square, 2, 192, 0, 3456, 2160, 1, 10, 1},
      {3840, 2160, S::sharp, A::four_three, 3, 480, 0, 2880, 2160, 1, 9, 1},
  };
  const int32_t modes[5][2] = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};
  for (const Row& r : rows) {
    PresentationOptions options;
    options.scale = r.scale;
    options.aspect = r.aspect;
    const WindowGeometry e = compute_environment_2d(
        r.screen_w, r.screen_h, 320, 200, modes[r.state][0], modes[r.state][1], 0, options);
    const std::string label = std::to_string(r.screen_w) + " scale " +
                              std::to_string(static_cast<int>(r.scale)) + " aspect " +
                              std::to_string(static_cast<int>(r.aspect)) + " state " +
                              std::to_string(r.state);
    EXPECT_EQ(e.x1, r.x1) << label;
    EXPECT_EQ(e.y1, r.y1) << label;
    EXPECT_EQ(e.scaled_width, r.width) << label;
    EXPECT_EQ(e.scaled_height, r.height) << label;
    EXPECT_EQ(e.x2, r.x1 + r.width - 1) << label;
    EXPECT_EQ(e.y2, r.y1 + r.height - 1) << label;
    EXPECT_EQ(e.smooth, r.smooth) << label;
    EXPECT_EQ(e.prescale, r.prescale) << label;
    EXPECT_EQ(e.letterbox, r.letterbox) << label;
    // The scales take the whole frame onto exactly that rectangle.
    const WindowRect whole = environment_2d__screen_to_window_rect(e, 0, 0, 319, 199);
    EXPECT_EQ(whole.right, e.x2) << label;
    EXPECT_EQ(whole.bottom, e.y2) << label;
  }
}

TEST(PresentScaling, FourThreeLeavesOtherFrameSizesAndTheDefaultsAlone) {
  PresentationOptions four_three;
  four_three.aspect = AspectMode::four_three;
  auto same = [](const WindowGeometry& a, const WindowGeometry& b) {
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2 &&
           a.letterbox == b.letterbox && a.smooth == b.smooth && a.prescale == b.prescale;
  };
  // 640 x 350 keeps square pixels.
  EXPECT_TRUE(same(compute_environment_2d(1920, 1080, 640, 350, 2, 0, 0, four_three),
                   compute_environment_2d(1920, 1080, 640, 350, 2, 0, 0)));
  // 640 x 400 in a 1280 x 1024 window: 4:3 is 1280 x 960.
  WindowGeometry e = compute_environment_2d(1280, 1024, 640, 400, 2, 0, 0, four_three);
  EXPECT_EQ(e.scaled_width, 1280);
  EXPECT_EQ(e.scaled_height, 960);
  EXPECT_EQ(e.y1, 32);
  // Windowed at the frame's size: one to one, as always.
  EXPECT_TRUE(same(compute_environment_2d(320, 200, 320, 200, 0, 0, 0, PresentationOptions{}),
                   compute_environment_2d(320, 200, 320, 200, 0, 0, 0)));
  // Windowed 4:3 (320 x 240 a time), unsmoothed, filling the window of that shape.
  e = compute_environment_2d(960, 720, 320, 200, 0, 1, 0, four_three);
  EXPECT_EQ(e.x2, 959);
  EXPECT_EQ(e.y2, 719);
  EXPECT_EQ(e.smooth, 0);
  // A screen smaller than the frame: integer falls back to the largest picture that fits.
  PresentationOptions integer;
  integer.scale = ScaleMode::integer;
  e = compute_environment_2d(300, 300, 320, 200, 1, 0, 0, integer);
  EXPECT_EQ(e.scaled_width, 300);
  EXPECT_EQ(e.scaled_height, 187);
}

TEST(PresentWindowScale, WindowedSizeIsAWholeMultipleThatFits) {
  struct Row {
    int32_t frame_w, frame_h, window_scale;
    AspectMode aspect;
    int32_t limit_w, limit_h;
    int32_t w, h;
  };
  constexpr AspectMode sq = AspectMode::square, ft = AspectMode::four_three;
  const Row rows[] = {
      {320, 200, 1, sq, 1280, 800, 320, 200},  // the default: the frame's size
      {320, 200, 3, sq, 1280, 800, 960, 600},
      {320, 200, 3, ft, 1280, 800, 960, 720},  // rows 1.2 times taller
      {640, 400, 2, ft, 1920, 1080, 1280, 960},
      {640, 350, 2, ft, 1920, 1080, 1280, 700},   // other sizes keep square pixels
      {640, 400, 16, sq, 1920, 1080, 1280, 800},  // lowered to what fits the screen
      {640, 400, 1, sq, 320, 200, 640, 400},      // never below one time
      {320, 200, 3, sq, 0, 0, 960, 600},          // no screen known: as asked
      // auto: the largest whole multiple within 85% of the screen.
      {320, 200, window_scale_auto, sq, 3840, 2160, 2880, 1800},
      {320, 200, window_scale_auto, ft, 3840, 2160, 2240, 1680},
      {640, 400, window_scale_auto, sq, 3840, 2160, 2560, 1600},
      {320, 200, window_scale_auto, sq, 1920, 1080, 1280, 800},
      {320, 200, window_scale_auto, sq, 1280, 800, 960, 600},
      {320, 200, window_scale_auto, sq, 0, 0, 320, 200},
  };
  for (const Row& r : rows) {
    PresentationOptions options;
    options.window_scale = r.window_scale;
    options.aspect = r.aspect;
    EXPECT_EQ(windowed_size(r.frame_w, r.frame_h, options, r.limit_w, r.limit_h),
              (WindowSize{r.w, r.h}))
        << r.frame_w << "x" << r.frame_h << " scale " << r.window_scale << " within " << r.limit_w
        << "x" << r.limit_h;
  }
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

TEST_F(PresentWindowSize, SnapsBackToTheWindowScalesSize) {
  WindowSizeInput in;
  in.frame_w = 320;
  in.frame_h = 200;
  in.wanted_w = 960;
  in.wanted_h = 600;
  in.window_w = in.window_prev_w = 960;
  in.window_h = in.window_prev_h = 600;
  EXPECT_FALSE(decide(in).reshape);
  in.window_w = 320;
  in.window_h = 200;
  const WindowSizeAction a = decide(in);
  EXPECT_TRUE(a.reshape);
  EXPECT_EQ(a.w, 960);
  EXPECT_EQ(a.h, 600);
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
  EXPECT_EQ(window_box_on_screen(full, {0, 0, 1024, 768}, true, false),
            (WindowBox{0, 0, 1024, 768}));
  EXPECT_EQ(window_box_on_screen(full, {0, 0, 1600, 1200}, true, false),
            (WindowBox{0, 0, 1600, 1200}));
  EXPECT_EQ(window_box_on_screen({1, 1, 1280, 800}, {0, 0, 1280, 800}, true, false), full);
  EXPECT_FALSE(window_box_on_screen(full, {0, 0, 1280, 800}, true, false));  // already there
}

TEST(WindowOnScreen, WithoutAWindowManagerAWindowStaysOnTheScreen) {
  // Shrinking 1920 x 1080 to 1024 x 768 moves a window near the far corner back, size kept.
  EXPECT_EQ(window_box_on_screen({1500, 900, 320, 200}, {0, 0, 1024, 768}, false, false),
            (WindowBox{704, 568, 320, 200}));
  EXPECT_FALSE(window_box_on_screen({100, 100, 320, 200}, {0, 0, 1024, 768}, false, false));
  // Larger than the screen: its top-left corner stays on it.
  EXPECT_EQ(window_box_on_screen({50, 50, 1280, 800}, {0, 0, 1024, 768}, false, false),
            (WindowBox{0, 0, 1280, 800}));
  EXPECT_EQ(window_box_on_screen({-30, -5, 320, 200}, {0, 0, 1024, 768}, false, false),
            (WindowBox{0, 0, 320, 200}));
}

// Two monitors side by side: the window's is the one holding its centre, else the one it
// overlaps most, else the primary; full screen covers that monitor, not the whole screen.
TEST(WindowOnScreen, TheWindowsMonitorIsTheOneItStandsOn) {
  const std::vector<WindowBox> monitors = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  EXPECT_EQ(monitor_of({2000, 100, 640, 400}, monitors, 0), monitors[1]);
  EXPECT_EQ(monitor_of({1800, 100, 640, 400}, monitors, 0), monitors[1]);   // centre at 2120
  EXPECT_EQ(monitor_of({1500, 1050, 640, 400}, monitors, 1), monitors[0]);  // overlap only
  EXPECT_EQ(monitor_of({5000, 5000, 10, 10}, monitors, 1), monitors[1]);    // on none: primary
  EXPECT_EQ(window_box_on_screen({2000, 100, 640, 400}, monitors[1], true, false), monitors[1]);
  EXPECT_EQ(window_box_on_screen({3000, 900, 320, 200}, monitors[1], false, false),
            (WindowBox{2880, 824, 320, 200}));
  EXPECT_EQ(intersection({0, 0, 3200, 1050}, monitors[1]), (WindowBox{1920, 0, 1280, 1024}));
}

TEST(WindowOnScreen, AWindowManagerPlacesTheWindowItself) {
  EXPECT_FALSE(window_box_on_screen({0, 0, 1280, 800}, {0, 0, 1024, 768}, true, true));
  EXPECT_FALSE(window_box_on_screen({1500, 900, 320, 200}, {0, 0, 1024, 768}, false, true));
  // The largest window drawn into follows the screen, never below the opening 640 x 400.
  EXPECT_EQ(largest_window(1600, 1200), (WindowBox{0, 0, 1600, 1200}));
  EXPECT_EQ(largest_window(320, 240), (WindowBox{0, 0, 640, 400}));
}

// ---------------------------------------------------------------------------------------------
// Following the frame and the window manager

// A window that records what the follower asks of it.
struct FakeWindow final : WindowControls {
  std::vector<WindowSize> sizes_asked;
  std::vector<bool> full_screen_asked;
  bool ready = true;
  std::optional<WindowManagerState> manager;
  void ask_size(int32_t w, int32_t h) override { sizes_asked.push_back({w, h}); }
  void ask_full_screen(bool on) override { full_screen_asked.push_back(on); }
  bool leave_maximized() override { return false; }
  bool ready_for_full_screen() override { return ready; }
  WindowBox work_area() override { return {0, 0, 1280, 800}; }
  std::optional<WindowManagerState> take_window_manager_state() override {
    return std::exchange(manager, std::nullopt);
  }
};

WindowSizes window_of(int16_t w, int16_t h) { return {w, h, w, h}; }

TEST(WindowFollow, SizeRequestsWaitForTheAnswerAndFullScreenWaitsForThem) {
  full_screen = 0;
  full_screen_set = -1;
  resize_snapback = 1;
  desktop_size = PixelSize{1280, 800};
  FakeWindow window;
  WindowFollower follower;
  follower.follow(320, 200, window_of(640, 400), window);
  ASSERT_EQ(window.sizes_asked, (std::vector<WindowSize>{{320, 200}}));
  // Full screen is asked for only once the size asked for is shown.
  full_screen_set = 1;
  follower.follow(320, 200, window_of(640, 400), window);
  EXPECT_TRUE(window.full_screen_asked.empty());
  EXPECT_GT(follower.poll_timeout_ms({640, 400}), 0);
  follower.follow(320, 200, window_of(320, 200), window);
  EXPECT_EQ(window.full_screen_asked, std::vector<bool>{true});
  EXPECT_EQ(full_screen.load(), 1);
  EXPECT_EQ(full_screen_set.load(), -1);
  // The window manager leaving full screen by itself makes the presentation windowed.
  follower.follow(320, 200, window_of(1280, 800), window);
  window.manager = WindowManagerState{false, false};
  follower.follow(320, 200, window_of(1280, 800), window);
  EXPECT_EQ(full_screen.load(), 0);
  full_screen = 0;
  full_screen_set = -1;
  force_display_update = 0;
}

// A tiling window manager never grants the snap-back: one request per size it gives, then the
// game keeps the tile and presents the picture in it; floating the window asks once more.
TEST(WindowFollow, ASizeTheWindowManagerRefusesIsAskedForOnce) {
  full_screen = 0;
  full_screen_set = -1;
  resize_snapback = 1;
  FakeWindow window;
  WindowFollower follower{std::chrono::milliseconds(0)};
  for (int redraw = 0; redraw < 50; ++redraw)
    follower.follow(320, 200, window_of(1916, 1060), window);
  EXPECT_EQ(window.sizes_asked.size(), 1u);
  EXPECT_TRUE(follower.present_in_given_size({1916, 1060}));
  EXPECT_EQ(follower.poll_timeout_ms({1916, 1060}), -1);
  // Floated again at another size: asked once more, and granted.
  follower.follow(320, 200, window_of(800, 600), window);
  EXPECT_EQ(window.sizes_asked.size(), 2u);
  follower.follow(320, 200, window_of(320, 200), window);
  EXPECT_FALSE(follower.present_in_given_size({320, 200}));
  EXPECT_EQ(window.sizes_asked.size(), 2u);
}

// The window's size and the size before it travel as one value: a reader on another thread never
// sees a new width with an old height, however the writes and reads interleave.
TEST(WindowFollow, WindowSizesArePublishedAsOneValue) {
  constexpr int iterations = 200000;
  host_window_resized(100, 200);
  host_window_resized(100, 200);
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (int i = 0; i < iterations; ++i) host_window_resized(i % 2 ? 300 : 100, i % 2 ? 400 : 200);
    writing = false;
  });
  int torn = 0;
  while (writing) {
    const WindowSizes sizes = window_sizes.load();
    const ResizeNotice notice = resize_event.load();
    torn +=
        (sizes.w == 100) != (sizes.h == 200) || (sizes.before_w == 100) != (sizes.before_h == 200);
    torn += (notice.w == 100) != (notice.h == 200);
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  resize_event = ResizeNotice{};
}

}  // namespace
