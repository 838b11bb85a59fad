#include "runtime/host/window_ops.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <string>
#include <thread>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/lists.h"
#include "runtime/host/start_options.h"
#include "runtime/host/startup.h"
#include "runtime/runtime.h"
#include "runtime/screen/image.h"
#include "tests/support/child_process.h"
#include "tests/support/runtime_fixture.h"

namespace {

std::string text_of(zqs* s) {
  return s ? std::string(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length))
           : std::string();
}

// The runtime, started once for the suite without a window and without the clock wait.
class WindowOpsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ensure_headless_runtime(); }
  void SetUp() override {
    clear_pending_error();
    screen_hide = 1;
    window_exists = 0;
    stop_program = 0;
    autodisplay = 1;
    full_screen = 0;
    full_screen_set = -1;
    fullscreen_smooth = 0;
    force_display_update = 0;
    exit_value = 0;
    exit_blocked = 0;
  }
  void TearDown() override { SetUp(); }
};

TEST(StartUp, CommandLineJoinsTheArgumentsAfterTheProgramName) {
  char program[] = "/usr/games/vostrandelimerix", a[] = "a", bc[] = "b c";
  char* with_arguments[] = {program, a, bc, nullptr};
  EXPECT_EQ(join_command_line(3, with_arguments), "a b c");
  EXPECT_EQ(join_command_line(1, with_arguments), "");
  EXPECT_EQ(join_command_line(0, nullptr), "");
}

TEST(StartUp, LocalTimeOfDayIsMillisecondsSinceMidnight) {
  EXPECT_EQ(local_ms_since_midnight(static_cast<time_t>(-1)), 0);
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(local_ms_since_midnight(now),
            (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000LL);
  EXPECT_EQ(local_ms_since_midnight(now, 999),
            (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000LL + 999);
}

// A real start: arguments are kept, and the executable's directory becomes current.
TEST(StartUp, StartWithArgumentsEntersTheExecutableDirectory) {
  ChildResult result = run_in_child([] {
    char cwd[PATH_MAX];
    std::string before = getcwd(cwd, sizeof cwd);
    screen_hide = 1;
    char program[] = "host_tests", a[] = "a", bc[] = "b c";
    char* argv[] = {program, a, bc, nullptr};
    runtime_init(3, argv);
    if (command_line != "a b c") return 10;
    if (program_argc != 3 || program_argv != argv) return 11;
    if (start_directory != before) return 12;
    std::string now = getcwd(cwd, sizeof cwd);
    if (now != executable_directory() || root_directory != now) return 13;
    return 0;
  });
  EXPECT_TRUE(result.exited_with(0)) << result.describe();
}

// The clock reference is the local time of day to the millisecond, taken at once: right after
// start-up, TIMER with a millisecond accuracy reads the wall clock's local time.
TEST(StartUp, ClockReferenceIsTheLocalTimeToTheMillisecond) {
  ChildResult result = run_in_child([] {
    screen_hide = 1;
    runtime_init();
    timespec before{}, after{};
    clock_gettime(CLOCK_REALTIME, &before);
    const double timer_ms = func_timer(0.001, 1) * 1000.0;
    clock_gettime(CLOCK_REALTIME, &after);
    const int64_t from = local_ms_since_midnight(before.tv_sec, before.tv_nsec / 1000000);
    const int64_t to = local_ms_since_midnight(after.tv_sec, after.tv_nsec / 1000000);
    // Two clocks read at slightly different instants: allow a couple of milliseconds each way
    // (and skip a run that straddles midnight).
    if (to < from) return 0;
    if (timer_ms < static_cast<double>(from) - 2.5 || timer_ms > static_cast<double>(to) + 2.5)
      return 10;
    return 0;
  });
  EXPECT_TRUE(result.exited_with(0)) << result.describe();
}

// A fresh start, in a child: the other tests of this binary share one runtime and change it.
TEST(StartUp, LeavesRingIconsListsAndTextModeReady) {
  ChildResult result = run_in_child([] {
    screen_hide = 1;
    runtime_init();
    if (cmem[0x41A] != 0x1E || cmem[0x41C] != 0x1E) return 10;
    if (builtin_icon32 >= -1 || builtin_icon16 >= -1) return 11;
    if (img[-builtin_icon32].width != 32 || img[-builtin_icon32].bits_per_pixel != 32) return 12;
    if (img[-builtin_icon16].width != 16) return 13;
    if (hardware_img_handles == nullptr) return 14;
    if (display_page.load() == nullptr || !display_page.load()->text) return 15;
    return 0;
  });
  EXPECT_TRUE(result.exited_with(0)) << result.describe();
}

TEST_F(WindowOpsTest, TitleIsCopiedAndCountedForTheWindowThread) {
  uint32_t before = window_title_generation();
  sub__title(zqs_new_txt("Vostrandelimerix"));
  EXPECT_EQ(window_title_generation(), before + 1);
  EXPECT_EQ(text_of(func__title()), "Vostrandelimerix");
  uint32_t generation = 0;
  EXPECT_EQ(current_window_title(&generation), "Vostrandelimerix");
  EXPECT_EQ(generation, before + 1);

  // While an error is pending the title stays as it was.
  error(5);
  sub__title(zqs_new_txt("other"));
  EXPECT_EQ(current_window_title(), "Vostrandelimerix");
  EXPECT_EQ(window_title_generation(), before + 1);
  clear_pending_error();
  zqs_cleanup(1, 0);
}

TEST_F(WindowOpsTest, FullScreenRequestIsVisibleBeforeTheWindowSwitches) {
  sub__fullscreen(0, 0);
  EXPECT_EQ(full_screen_set.load(), 1);
  EXPECT_EQ(full_screen.load(), 0);
  EXPECT_EQ(func__fullscreen(), 1);
  EXPECT_EQ(force_display_update.load(), 1);
  EXPECT_EQ(func__fullscreensmooth(), 0);

  // Methods 0 to 4 from a windowed start: windowed requests match the current state and leave
  // nothing pending.
  const int32_t expected[] = {1, -1, 1, 2, -1};
  for (int32_t method = 0; method <= 4; ++method) {
    full_screen_set = -1;
    sub__fullscreen(method, 0);
    EXPECT_EQ(full_screen_set.load(), expected[method]) << "method " << method;
  }
  sub__fullscreen(3, 1);
  EXPECT_EQ(func__fullscreen(), 2);
  EXPECT_EQ(func__fullscreensmooth(), -1);
  // Back to windowed while full screen is shown.
  full_screen = 1;
  full_screen_set = -1;
  sub__fullscreen(1, 0);
  EXPECT_EQ(func__fullscreen(), 0);

  full_screen_set = -1;
  sub__fullscreen(5, 0);
  EXPECT_EQ(new_error.load(), 5u);
  EXPECT_EQ(full_screen_set.load(), -1);
}

// A process started windowed keeps its presentation at the program's first full-screen request;
// the next request is honoured.
TEST_F(WindowOpsTest, StartWindowedKeepsTheWindowAtTheFirstFullScreenRequest) {
  start_windowed = true;
  sub__fullscreen(1, 0);  // a windowed request leaves the choice in force
  sub__fullscreen(0, 0);
  EXPECT_EQ(full_screen_set.load(), -1);
  EXPECT_EQ(func__fullscreen(), 0);
  EXPECT_FALSE(start_windowed.load());
  sub__fullscreen(0, 0);
  EXPECT_EQ(full_screen_set.load(), 1);

  // Alt+Enter was quicker than the program: the presentation it chose stays.
  start_windowed = true;
  full_screen = 2;
  full_screen_set = -1;
  sub__fullscreen(0, 0);
  EXPECT_EQ(func__fullscreen(), 2);
  start_windowed = false;
}

TEST_F(WindowOpsTest, IconArgumentsAreValidated) {
  sub__icon(0, 0, 0);
  EXPECT_EQ(new_error.load(), 0u);
  sub__icon(builtin_icon32, 0, 1);
  EXPECT_EQ(new_error.load(), 0u);
  sub__icon(-9999, 0, 1);
  EXPECT_EQ(new_error.load(), 258u);
  clear_pending_error();
  // A valid 32-bit image with an invalid second handle.
  sub__icon(builtin_icon32, -9999, 3);
  EXPECT_EQ(new_error.load(), 258u);
  clear_pending_error();
  // Page 0 is the text screen of mode 0.
  sub__icon(0, 0, 1);
  EXPECT_EQ(new_error.load(), 5u);
  clear_pending_error();
}

TEST_F(WindowOpsTest, ResizeEventsAreReadOnceUnlessTheWindowSnapsBack) {
  resize_snapback = 1;
  host_window_resized(800, 500);
  EXPECT_EQ(func__resize(), 0);
  sub__resize(1, 0, 1);
  EXPECT_EQ(resize_snapback.load(), 0);
  EXPECT_EQ(resize_auto.load(), 0);
  EXPECT_EQ(func__resize(), -1);
  EXPECT_EQ(func__resize(), 0);
  EXPECT_EQ(func__resizewidth(), 800);
  EXPECT_EQ(func__resizeheight(), 500);
  sub__resize(2, 2, 3);
  EXPECT_EQ(resize_snapback.load(), 1);
  EXPECT_EQ(resize_auto.load(), 2);
  sub__resize(3, 0, 1);
  EXPECT_EQ(new_error.load(), 5u);
  EXPECT_EQ(resize_snapback.load(), 1);
  clear_pending_error();
  resize_auto = 0;
  resize_event = ResizeNotice{};
}

TEST_F(WindowOpsTest, WithoutAWindowQueriesAnswerAtOnce) {
  EXPECT_EQ(func_windowexists(), 0);
  EXPECT_EQ(func_screenwidth(), 0);
  EXPECT_EQ(func_screenicon(), 0);
  EXPECT_EQ(new_error.load(), 5u);
  clear_pending_error();
  window_exists = 1;
  EXPECT_EQ(func_windowexists(), -1);
  // With screen_hide nothing is displayed and automatic display stays as it is.
  sub__display();
  EXPECT_EQ(autodisplay.load(), 1);
}

TEST_F(WindowOpsTest, ThreadedIconWaitsForTheWindow) {
  screen_hide = 0;
  std::atomic<bool> returned{false};
  std::thread program([&] {
    sub__icon(0, 0, 0);
    returned = true;
  });
  Sleep(250);
  EXPECT_FALSE(returned.load());
  window_exists = 1;
  program_wakeup.notify();  // as host_main does once the window exists
  program.join();
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(new_error.load(), 0u);
}

// A wait that nobody will ever answer must still let a stop request reach the statement check.
TEST_F(WindowOpsTest, ThreadedWaitsGiveUpWhenTheHostStops) {
  screen_hide = 0;
  std::thread icon([] { sub__icon(0, 0, 0); });
  std::thread frames([] { display_now(); });
  Sleep(50);
  stop_program = 1;
  raise_event();
  icon.join();
  frames.join();
  std::thread display_off([] { sub__display(); });
  display_off.join();
}

TEST_F(WindowOpsTest, ThreadedDisplayHandOffAndFrameWait) {
  screen_hide = 0;
  // The main loop's part: frame preparation completes the hand-off started by sub__display and
  // reports each finished frame, waking the program that waits for either.
  std::atomic<bool> running{true};
  std::thread main_loop([&] {
    while (running.load()) {
      display();
      Sleep(2);
    }
  });
  sub__display();
  EXPECT_EQ(autodisplay.load(), 0);
  EXPECT_EQ(func__autodisplay(), 0);
  sub__autodisplay();
  EXPECT_EQ(func__autodisplay(), -1);
  display_now();
  EXPECT_EQ(display_called.load(), 1);
  running = false;
  main_loop.join();
}

// The window thread's side of the connection lock, as a host serves it.
void serve_x11_lock_once() {
  for (int32_t requested = 1; !x11_lock_request.compare_exchange_strong(requested, 0);
       requested = 1)
    Sleep(1);
  x11_locked.store(1);
  program_wakeup.notify();
  while (x11_locked.load() != 0) Sleep(1);
}

TEST_F(WindowOpsTest, ThreadedX11LockHoldsTheWindowThreadUntilReleased) {
  screen_hide = 0;
  std::atomic<bool> served{false};
  std::thread window_thread([&] {
    serve_x11_lock_once();
    served = true;
  });
  ASSERT_TRUE(x11_lock());
  EXPECT_EQ(x11_locked.load(), 1);
  Sleep(30);
  EXPECT_FALSE(served.load());
  x11_unlock();
  window_thread.join();
  EXPECT_TRUE(served.load());
  EXPECT_EQ(x11_lock_request.load(), 0);
}

// A stop request while waiting for the lock: no lock is claimed, and no request is left for the
// window thread to grant later and then wait for a release that never comes.
TEST_F(WindowOpsTest, X11LockGivesUpWithoutLeavingARequestOnStop) {
  screen_hide = 0;
  stop_program = 1;
  EXPECT_FALSE(x11_lock());
  EXPECT_EQ(x11_lock_request.load(), 0);
  EXPECT_EQ(x11_locked.load(), 0);
  stop_program = 0;
}

}  // namespace
