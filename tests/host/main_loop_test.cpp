#include "runtime/host/main_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/keyboard_wait.h"
#include "runtime/host/window_ops.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/image.h"
#include "tests/support/child_process.h"

namespace {

// Puts every flag the main loop reads back to its start-up value; no window, so frame
// preparation only reports that it ran.
void reset_host_flags() {
  exit_value = 0;
  exit_blocked = 0;
  close_program = 0;
  stop_program = 0;
  zqevent = 0;
  exit_ok = 0;
  autodisplay = 1;
  display_called = 0;
  frame = 0;
  shell_call_in_progress = 0;
  screen_hide = 1;
  lock_display = 0;
  force_display_update = 0;
}

int64_t fake_ticks = 0;
int64_t fake_tick_source() { return fake_ticks; }

class MainLoopTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_host_flags(); }
  void TearDown() override {
    set_tick_source(nullptr);
    reset_host_flags();
  }
};

TEST_F(MainLoopTest, BiosTicksCountEighteenPointTwoPerSecondSinceMidnight) {
  constexpr int64_t noon_ms = 12 * 3600 * 1000;
  EXPECT_EQ(bios_ticks_at(5000, 5000, noon_ms), 786240u);  // trunc(43200000 * 0.0182)
  EXPECT_EQ(bios_ticks_at(5000 + 55, 5000, noon_ms), 786240u + 1);
  EXPECT_EQ(bios_ticks_at(0, 0, 0), 0u);
  // One second before midnight plus two seconds is one second after midnight.
  EXPECT_EQ(bios_ticks_at(2000, 0, 86399000), 18u);
  // The tick source wraps at 2^32 ms: a reference just below the wrap and a reading just after
  // it are 30 ms apart.
  EXPECT_EQ(bios_ticks_at(-2147483648LL + 20, 2147483647LL - 9, noon_ms),
            bios_ticks_at(30, 0, noon_ms));
}

TEST_F(MainLoopTest, TickCountLandsLittleEndianAt0x46CAndLeavesTheNextByteAlone) {
  const int64_t saved_first = clock_firsttimervalue, saved_local = zorbel_firsttimervalue;
  clock_firsttimervalue = 1000;
  zorbel_firsttimervalue = 23 * 3600 * 1000;  // 23:00, 1506960 ticks = 0x16FE90
  fake_ticks = 1000;
  set_tick_source(fake_tick_source);
  cmem[0x46F] = 0xAA;
  update_bios_tick_count();
  EXPECT_EQ(cmem[0x46C], 0x90);
  EXPECT_EQ(cmem[0x46D], 0xFE);
  EXPECT_EQ(cmem[0x46E], 0x16);
  EXPECT_EQ(cmem[0x46F], 0xAA);
  EXPECT_EQ(bios_tick_count(), 0x16FE90u);
  clock_firsttimervalue = saved_first;
  zorbel_firsttimervalue = saved_local;
}

// When a pass prepares a frame, and how long the thread may then sleep: the steady cadence while
// the program runs, one frame for each wait for a key that begins, one for each request, and no
// wake-up at all while the program waits and nothing asks.
TEST_F(MainLoopTest, FramesFollowTheProgramAndTheRequests) {
  fake_ticks = 1000;
  set_tick_source(fake_tick_source);
  const int64_t saved_first = clock_firsttimervalue;
  clock_firsttimervalue = 0;
  display_called = 1;
  img_struct* const saved_page = display_page.load();
  display_page = nullptr;  // nothing on screen that changes by itself
  screen_hide = 0;         // frames are prepared, and show what is on screen
  MainLoop loop;
  const auto step = [&] { return main_loop_step(loop); };

  PassPlan plan = step();  // the program runs: a frame at once, the next in about 1/30 s
  EXPECT_TRUE(plan.presented);
  EXPECT_EQ(frame.load(), 30u);  // display cycles since the clock reference, 30 a second
  ASSERT_TRUE(plan.wake_at.has_value());
  EXPECT_EQ(*plan.wake_at, loop.next_frame);
  EXPECT_FALSE(step().presented);  // too early for the next one

  program_waiting_for_key = true;
  key_waits_begun.fetch_add(1);
  plan = step();  // the wait that began is shown at once, then the thread sleeps until woken
  EXPECT_TRUE(plan.presented);
  EXPECT_FALSE(plan.wake_at.has_value());
  plan = step();
  EXPECT_FALSE(plan.presented);
  EXPECT_FALSE(plan.wake_at.has_value());
  // A text page on screen blinks by itself: once a frame has shown it, the thread wakes for the
  // next blink change.
  img_struct text_page{};
  text_page.text = 1;
  display_page = &text_page;
  key_waits_begun.fetch_add(1);
  plan = step();
  EXPECT_TRUE(plan.presented);
  ASSERT_TRUE(plan.wake_at.has_value());
  EXPECT_LE(*plan.wake_at - std::chrono::steady_clock::now(), std::chrono::milliseconds(520));
  display_page = nullptr;
  key_waits_begun.fetch_add(1);
  plan = step();
  EXPECT_FALSE(plan.wake_at.has_value());

  // Requests are each answered with one frame, whatever the cadence.
  lock_display = 1;
  EXPECT_TRUE(step().presented);
  EXPECT_EQ(lock_display.load(), 2);  // granted by the preparation
  lock_display = 0;
  display_called = 0;  // display_now waits for a preparation
  EXPECT_TRUE(step().presented);
  EXPECT_EQ(display_called.load(), 1);
  force_display_update = 1;  // a presentation change, answered once
  EXPECT_TRUE(step().presented);
  EXPECT_FALSE(step().presented);
  force_display_update = 0;

  // With automatic display off a frame is a counted display cycle, and nothing is prepared.
  autodisplay = 0;
  display_called = 0;
  fake_ticks = 2000;
  key_waits_begun.fetch_add(1);
  EXPECT_TRUE(step().presented);
  EXPECT_EQ(frame.load(), 60u);
  EXPECT_EQ(display_called.load(), 0);

  program_waiting_for_key = false;
  clock_firsttimervalue = saved_first;
  display_page = saved_page;
  screen_hide = 1;
}

TEST_F(MainLoopTest, ShellCallPresentsOnceThenOnlyWaits) {
  MainLoop loop;
  program_waiting_for_key = true;
  loop.key_waits_seen = key_waits_begun.load();
  shell_call_in_progress = 1;
  EXPECT_TRUE(main_loop_step(loop).presented);
  EXPECT_EQ(shell_call_in_progress.load(), -1);
  const PassPlan plan = main_loop_step(loop);
  EXPECT_FALSE(plan.presented);
  EXPECT_TRUE(plan.wake_at.has_value());
  program_waiting_for_key = false;
}

// While the program waits for a key the main loop thread sleeps; the next wait that begins
// wakes it for the frame that shows what the program drew.
TEST_F(MainLoopTest, ThreadedLoopSleepsWhileTheProgramWaits) {
  program_waiting_for_key = true;
  std::atomic<int> passes{0};
  std::atomic<bool> quit{false};
  std::thread main_loop([&] {
    MainLoop loop;
    loop.key_waits_seen = key_waits_begun.load();
    while (!quit.load()) {
      main_loop_pass(loop);
      ++passes;
    }
  });
  Sleep(200);
  EXPECT_LE(passes.load(), 2) << "the loop woke although nothing happened";
  const int before = passes.load();
  display_called = 0;
  key_waits_begun.fetch_add(1);
  presentation_wakeup.notify();
  for (int i = 0; i < 2000 && display_called.load() == 0; ++i) Sleep(1);
  EXPECT_EQ(display_called.load(), 1);
  EXPECT_GT(passes.load(), before);
  quit = true;
  presentation_wakeup.notify();
  main_loop.join();
  program_waiting_for_key = false;
}

TEST_F(MainLoopTest, ProgramEndAndCloseRequestsBeginShutdown) {
  MainLoop loop;
  close_program = 1;
  EXPECT_EQ(main_loop_pass(loop), PassOutcome::Shutdown);
  close_program = 0;
  EXPECT_EQ(zorbel_custom_event(1), 0);
  EXPECT_EQ(exit_value.load(), 1);
  EXPECT_EQ(main_loop_pass(loop), PassOutcome::Shutdown);
}

TEST_F(MainLoopTest, AfterFuncExitTheCloseButtonOnlyReachesTheProgram) {
  MainLoop loop;
  EXPECT_EQ(func__exit(), 0);
  zorbel_custom_event(1);
  EXPECT_EQ(main_loop_pass(loop), PassOutcome::Continue);
  EXPECT_EQ(main_loop_pass(loop), PassOutcome::Continue);
  EXPECT_EQ(func__exit(), 1);
  EXPECT_EQ(func__exit(), 0);
  // Break while exiting is blocked arrives as bit 1 and is read the same way.
  exit_value.fetch_or(2);
  zorbel_custom_event(1);
  EXPECT_EQ(main_loop_pass(loop), PassOutcome::Continue);
  EXPECT_EQ(func__exit(), 3);
  // Codes other than the close button change nothing.
  zorbel_custom_event(7);
  EXPECT_EQ(exit_value.load(), 0);
}

// The shutdown handshake with stand-ins for the program and timer threads: the loop raises
// stop_program and zqevent, and returns only once both have acknowledged.
TEST_F(MainLoopTest, ThreadedShutdownWaitsForBothAcknowledgements) {
  std::atomic<bool> loop_returned{false};
  std::atomic<int32_t> status{-1};
  std::thread main_loop([&] {
    status = run_main_loop();
    loop_returned = true;
  });
  std::thread program([] {
    while (!zqevent.load(std::memory_order_acquire)) Sleep(1);
    // What the statement check does when it finds the stop request.
    if (stop_program.load()) acknowledge_stop(stop_acknowledged_by_program);
  });

  Sleep(40);
  EXPECT_FALSE(loop_returned.load());
  close_program = 1;
  program.join();
  EXPECT_EQ(stop_program.load(), 1);
  Sleep(100);
  EXPECT_FALSE(loop_returned.load()) << "shut down before the timer thread acknowledged";
  acknowledge_stop(stop_acknowledged_by_timer_thread);
  main_loop.join();
  EXPECT_TRUE(loop_returned.load());
  EXPECT_EQ(status.load(), 0);
}

// The window closes while the program waits for the display lock (a screen-mode change): the
// shutdown answers the request, the program makes its change and reaches its statement check.
TEST_F(MainLoopTest, ThreadedShutdownAnswersAPendingDisplayLock) {
  ChildResult result = run_in_child(
      [] {
        lock_display_required = 1;
        std::thread([] {
          { const DisplayLock lock; }
          while (!stop_program.load()) Sleep(1);
          acknowledge_stop(stop_acknowledged_by_program);
        }).detach();
        while (lock_display.load() != 1) Sleep(1);
        acknowledge_stop(stop_acknowledged_by_timer_thread);  // no timer thread here
        return main_loop_shutdown() == 0 && lock_display.load() == 0 ? 0 : 1;
      },
      std::chrono::seconds(10));
  EXPECT_TRUE(result.exited_with(0)) << result.describe();
}

TEST_F(MainLoopTest, ThreadedCloseButtonEndsTheLoopWithTheExitCode) {
  std::thread main_loop([] { EXPECT_EQ(run_main_loop(), 0); });
  std::thread timer([] {
    while (!stop_program.load()) Sleep(1);
    acknowledge_stop(stop_acknowledged_by_timer_thread);
  });
  zorbel_custom_event(1);
  while (!stop_program.load()) Sleep(1);
  acknowledge_stop(stop_acknowledged_by_program);
  timer.join();
  main_loop.join();
}

}  // namespace
