#include "runtime/core/clock.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/core/timers.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/host_state.h"

namespace {

// A clock the test moves by hand. Read by the timer thread, hence atomic.
std::atomic<int64_t> fake_now{0};
int64_t fake_ticks() { return fake_now.load(); }

// A clock that returns the scripted readings in turn and then keeps the last one.
std::vector<int64_t> script;
size_t script_reads = 0;
int64_t scripted_ticks() {
  const size_t i = script_reads < script.size() ? script_reads : script.size() - 1;
  ++script_reads;
  return script[i];
}
void use_script(std::vector<int64_t> readings) {
  script = std::move(readings);
  script_reads = 0;
  set_tick_source(scripted_ticks);
}

void reset_shared_state() {
  new_error = 0;
  zqevent = 0;
  stop_program = 0;
  exit_ok = 0;
  sleep_break = 0;
}

class Clock : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_shared_state();
    saved_first = clock_firsttimervalue;
    saved_midnight = zorbel_firsttimervalue;
  }
  void TearDown() override {
    set_tick_source(nullptr);
    clock_firsttimervalue = saved_first;
    zorbel_firsttimervalue = saved_midnight;
    reset_shared_state();
  }
  // TIMER reads local midnight + now - reference.
  static void set_time_of_day_ms(int64_t ms_since_midnight) {
    clock_firsttimervalue = 5000;
    zorbel_firsttimervalue = ms_since_midnight;
    fake_now = 5000;
    set_tick_source(fake_ticks);
  }
  int64_t saved_first = 0, saved_midnight = 0;
};

TEST_F(Clock, TicksFollowTheMonotonicClockInMilliseconds) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const int64_t expected = static_cast<int32_t>(static_cast<uint32_t>(now.tv_sec) * 1000u +
                                                static_cast<uint32_t>(now.tv_nsec / 1000000));
  const int64_t ticks = GetTicks();
  EXPECT_GE(ticks - expected, 0);
  EXPECT_LE(ticks - expected, 50);
  EXPECT_GE(ticks, INT32_MIN);
  EXPECT_LE(ticks, INT32_MAX);
  const int64_t before = GetTicks();
  Sleep(20);
  EXPECT_GE(GetTicks() - before, 20);
}

TEST_F(Clock, TimerCountsClassicTicksSinceMidnight) {
  set_time_of_day_ms(12 * 3600 * 1000);
  EXPECT_EQ(func_timer(0, 0), 43200.0);
  fake_now += 55;
  EXPECT_EQ(func_timer(0, 0), 43200.0546875);  // one 1/18.2 s tick, in single precision
  EXPECT_EQ(func_timer(0.001, 1), 43200.055);
  EXPECT_EQ(func_timer(0.5, 1), 43200.0);
  // Halves round to the even step.
  set_time_of_day_ms(43230250);
  EXPECT_EQ(func_timer(0.5, 1), 43230.0);
  set_time_of_day_ms(43230750);
  EXPECT_EQ(func_timer(0.5, 1), 43231.0);
  set_time_of_day_ms(43230300);
  EXPECT_EQ(func_timer(0.5, 1), 43230.5);

  // Midnight wraps to 0, also when the 32-bit tick counter itself wraps.
  set_time_of_day_ms(86400000 - 10);
  fake_now += 20;
  EXPECT_EQ(func_timer(0, 0), 0.0);
  clock_firsttimervalue = INT32_MAX - 5;
  zorbel_firsttimervalue = 1000;
  fake_now = INT32_MIN + 4;  // 10 ms after the reference
  EXPECT_EQ(func_timer(0.001, 1), 1.01);
}

TEST_F(Clock, TimerRejectsBadAccuracy) {
  set_time_of_day_ms(1000);
  EXPECT_EQ(func_timer(0, 1), 0.0);
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  EXPECT_EQ(func_timer(-1, 1), 0.0);
  EXPECT_EQ(new_error.load(), 5u);
  // While an error is pending TIMER is 0.
  EXPECT_EQ(func_timer(0, 0), 0.0);
}

TEST_F(Clock, DelayWaitsAndToleratesAClockGoingBack) {
  sub__delay(-0.1);
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  sub__delay(2147483.648);
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;

  // 20 ms waited, then the clock jumps back: the 20 ms still count, so 30 more end the wait.
  use_script({1000, 1020, 10, 40, 10000});
  sub__delay(0.05);
  EXPECT_EQ(script_reads, 4u);
  // Across the wrap of the 32-bit counter (2^31 - 1 to -2^31) no time is lost: 40 ms, then 50.
  use_script({INT32_MAX - 10, INT32_MIN + 29, INT32_MIN + 39, 10000});
  sub__delay(0.05);
  EXPECT_EQ(script_reads, 3u);

  set_tick_source(nullptr);
  const auto start = std::chrono::steady_clock::now();
  sub__delay(0.03);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(29));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

TEST_F(Clock, FrameLimitKeepsOrRestartsTheCadence) {
  sub__limit(0);
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  sub__limit(0.01);  // a frame every 100 s is too slow
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;

  sub__limit_prev = 0;
  use_script({1000});
  sub__limit(50);  // first call: the cadence starts now
  EXPECT_EQ(sub__limit_prev, 1000.0);
  use_script({1020});
  sub__limit(50);  // exactly on time
  EXPECT_EQ(sub__limit_prev, 1020.0);
  use_script({1060});
  sub__limit(50);  // 20 ms late keeps the cadence
  EXPECT_EQ(sub__limit_prev, 1040.0);
  use_script({1200});
  sub__limit(50);  // far too late: the cadence restarts
  EXPECT_EQ(sub__limit_prev, 1200.0);
  use_script({1205, 1212, 1220});
  sub__limit(50);  // early: sleeps until the deadline
  EXPECT_EQ(script_reads, 3u);
  EXPECT_EQ(sub__limit_prev, 1220.0);
  use_script({100});
  sub__limit(50);  // clock went back: restart
  EXPECT_EQ(sub__limit_prev, 100.0);
  sub__limit_prev = 0;
}

TEST_F(Clock, RedrawRate) {
  sub__fps(500, 2);
  EXPECT_EQ(max_fps.load(), 200.0);
  EXPECT_EQ(auto_fps.load(), 0);
  sub__fps(0, 1);
  EXPECT_EQ(auto_fps.load(), 1);
  sub__fps(30, 2);
  EXPECT_EQ(max_fps.load(), 30.0);
  EXPECT_EQ(auto_fps.load(), 0);
  sub__fps(0.5, 2);
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  sub__fps(30, 3);
  EXPECT_EQ(new_error.load(), 5u);
  EXPECT_EQ(max_fps.load(), 30.0);
  new_error = 0;
  max_fps = 60.0;
}

TEST_F(Clock, SleepEndsAtItsTime) {
  use_script({0, 500, 1000});
  sub_sleep(1);
  EXPECT_EQ(script_reads, 3u);
  use_script({0, 500, 995, 5000});
  sub_sleep(1);  // the last 5 ms are one sleep, without another reading
  EXPECT_EQ(script_reads, 3u);
  use_script({5000, 100});  // clock went back
  sub_sleep(10);
  EXPECT_EQ(script_reads, 2u);
  // Across the wrap of the 32-bit counter the sleep lasts its time: 501 ms, then 999 ms and a
  // last sleep of 1 ms.
  use_script({INT32_MAX - 400, INT32_MIN + 100, INT32_MIN + 598, 5000});
  sub_sleep(1);
  EXPECT_EQ(script_reads, 3u);
}

// Voluntary context switches of thread tid so far (how often it went to sleep).
long voluntary_switches(long tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  return -1;
}

// A SLEEP without a time waits for the key without looking every few milliseconds.
TEST_F(Clock, ThreadedKeyPressEndsAnEndlessSleep) {
  const long sleeper = gettid();
  long switches_while_waiting = 0;
  std::thread key([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const long before = voluntary_switches(sleeper);
    std::this_thread::sleep_for(std::chrono::milliseconds(270));
    switches_while_waiting = voluntary_switches(sleeper) - before;
    // What a key press does (keydown): the flag, then the program thread's wake-up.
    sleep_break.store(1);
    program_wakeup.notify();
  });
  const auto start = std::chrono::steady_clock::now();
  sub_sleep(0);
  const auto waited = std::chrono::steady_clock::now() - start;
  key.join();
  EXPECT_GE(waited, std::chrono::milliseconds(295));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_LE(switches_while_waiting, 3);  // looking every 9 ms went to sleep about 30 times
}

// --- User timers ---

std::vector<uint32_t> handled;
void record_handler(uint32_t id) { handled.push_back(id); }

class Timers : public Clock {
 protected:
  void SetUp() override {
    Clock::SetUp();
    handled.clear();
    ontimer_handler = record_handler;
  }
  void TearDown() override {
    ontimer_handler = nullptr;
    Clock::TearDown();
  }
};

TEST_F(Timers, SlotsAreCreatedFreedAndReused) {
  while (ontimer_freelist_available > 0) func__freetimer();  // start from fresh slots only
  EXPECT_EQ(ontimer_slot(0).allocated.load(), 1);
  const int32_t a = func__freetimer();
  const int32_t b = func__freetimer();
  EXPECT_GE(a, 1);
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(ontimer_nextfree.load(), b + 1);
  sub_timer(a, 4, 1);
  EXPECT_EQ(ontimer_slot(a).allocated.load(), 0);
  EXPECT_EQ(func__freetimer(), a);
  // Slots beyond the first block keep working.
  std::vector<int32_t> many;
  for (int i = 0; i < 600; ++i) many.push_back(func__freetimer());
  EXPECT_EQ(many.back(), b + 600);
  ontimer_setup(many.back(), 1.0, 3, 0);
  EXPECT_EQ(new_error.load(), 0u);
  for (int32_t slot : many) freetimer(slot);
  freetimer(a);
  freetimer(b);
  EXPECT_EQ(ontimer_freelist_available, 602);
}

TEST_F(Timers, BadSlotsAreRejected) {
  ontimer_setup(ontimer_nextfree.load(), 1.0, 1, 0);
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  ontimer_setup(-1, 1.0, 1, 0);
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  const int32_t slot = func__freetimer();
  freetimer(slot);
  sub_timer(slot, 1, 1);  // freed
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  sub_timer(0, 4, 0);  // the classic timer cannot be freed
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  EXPECT_EQ(func__freetimer(), slot);
  // Freeing twice (or a slot that does not exist) hands no slot out twice.
  freetimer(slot);
  freetimer(slot);
  freetimer(-1);
  freetimer(ontimer_nextfree.load() + 1000);
  EXPECT_EQ(func__freetimer(), slot);
  EXPECT_NE(func__freetimer(), slot);
}

TEST_F(Timers, DispatchRunsPendingHandlersOfTimersThatAreOn) {
  const int32_t slot = func__freetimer();
  ontimer_setup(slot, 1.0, 42, 0);
  ontimer_struct& t = ontimer_slot(slot);
  sub_timer(slot, 3, 1);  // stopped: the event waits
  t.state = 1;
  ontimer_dispatch();
  EXPECT_TRUE(handled.empty());
  EXPECT_EQ(t.state.load(), 1);
  sub_timer(slot, 1, 1);
  ontimer_dispatch();
  EXPECT_EQ(handled, std::vector<uint32_t>{42});
  EXPECT_EQ(t.state.load(), 0);
  EXPECT_EQ(sleep_break.load(), 1);
  // Off cancels a pending event and disarms the timer.
  t.state = 1;
  t.last_time = 12.0;
  sub_timer(slot, 2, 1);
  EXPECT_EQ(t.state.load(), 0);
  EXPECT_EQ(t.last_time.load(), 0.0);
  // Setting up again cancels a pending event too.
  t.state = 1;
  ontimer_setup(slot, 2.0, 43, 7);
  EXPECT_EQ(t.state.load(), 0);
  EXPECT_EQ(t.extra, 7);
  sub_timer(slot, 4, 1);
}

TEST_F(Timers, TheStatementCheckRunsDueHandlers) {
  const int32_t slot = func__freetimer();
  ontimer_setup(slot, 1.0, 77, 0);
  sub_timer(slot, 1, 1);
  ontimer_struct& t = ontimer_slot(slot);
  // What the timer thread does when the interval has passed.
  t.state = 1;
  zqevent = 1;
  check_statement(10);
  EXPECT_EQ(handled, std::vector<uint32_t>{77});
  EXPECT_EQ(t.state.load(), 0);
  EXPECT_EQ(zqevent.load(), 0);
  sub_timer(slot, 4, 1);
}

// Waits until pred holds, at most two seconds.
template <typename Pred>
bool eventually(Pred pred) {
  for (int i = 0; i < 2000; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

TEST_F(Timers, ThreadedTimerThreadFiresOnceAnIntervalAndWithoutBacklog) {
  fake_now = 100000;
  set_tick_source(fake_ticks);
  const int32_t slot = func__freetimer();
  ontimer_setup(slot, 1.0, 9, 0);
  sub_timer(slot, 1, 1);
  ontimer_struct& t = ontimer_slot(slot);
  std::thread timer_thread(TIMERTHREAD);

  ASSERT_TRUE(eventually([&] { return t.last_time.load() == 100.0; }));  // armed, not fired
  EXPECT_EQ(t.state.load(), 0);
  fake_now = 100900;
  wake_timer_thread();  // the test moved the clock
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(t.state.load(), 0);
  fake_now = 101001;
  wake_timer_thread();  // the test moved the clock
  ASSERT_TRUE(eventually([&] { return t.state.load() == 1; }));
  EXPECT_EQ(zqevent.load(), 1);
  EXPECT_EQ(t.last_time.load(), 101.0);
  ontimer_dispatch();
  EXPECT_EQ(handled, std::vector<uint32_t>{9});

  // A handler that took five intervals leaves one event, and the cadence restarts from now.
  fake_now = 106500;
  wake_timer_thread();  // the test moved the clock
  ASSERT_TRUE(eventually([&] { return t.state.load() == 1; }));
  EXPECT_EQ(t.last_time.load(), 106.5);
  ontimer_dispatch();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(t.state.load(), 0);

  // The 32-bit tick counter wraps: the timer re-arms instead of stalling.
  fake_now = INT32_MIN + 100;
  wake_timer_thread();  // the test moved the clock
  ASSERT_TRUE(eventually([&] { return t.last_time.load() < 0; }));
  fake_now = INT32_MIN + 1200;
  wake_timer_thread();  // the test moved the clock
  ASSERT_TRUE(eventually([&] { return t.state.load() == 1; }));
  ontimer_dispatch();

  // A paused thread leaves due timers alone.
  stop_timers();
  EXPECT_EQ(ontimerthread_lock.load(), 2);
  fake_now = INT32_MIN + 5000;
  wake_timer_thread();  // the test moved the clock
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(t.state.load(), 0);
  start_timers();
  ASSERT_TRUE(eventually([&] { return t.state.load() == 1; }));

  stop_program = 1;
  wake_timer_thread();
  timer_thread.join();
  EXPECT_EQ(exit_ok.load() & 2, 2u);
  sub_timer(slot, 4, 1);
}

TEST_F(Timers, PausingWithoutATimerThreadDoesNotHang) {
  stop_timers();
  start_timers();
  EXPECT_EQ(ontimerthread_lock.load(), 0);
}

}  // namespace
