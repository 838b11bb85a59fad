#include "runtime/host/web/web_input.h"

#include <emscripten/threading.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

#include "runtime/core/error.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/presentation.h"
#include "runtime/host/window_ops.h"

namespace {

// The queue: the page's main thread writes a slot and then publishes the tail (release); the
// input thread reads the tail (acquire), then the slot, then moves the head on (release), which
// the main thread reads (acquire) to see that a slot is free. The tail is also the word the
// input thread sleeps on, with the title's generation.
constexpr uint32_t queue_size = 1024;
PageEvent queued[queue_size];
alignas(4) std::atomic<uint32_t> head{0};
alignas(4) std::atomic<uint32_t> tail{0};
// Changed (and its sleeper woken) by every new event and by a title to copy.
alignas(4) std::atomic<uint32_t> input_signal{0};

// The title and the address's parameters, copied by the input thread, read by the page's main
// thread. A sequence count guards them: odd while a copy is being written; a reader that sees
// it odd, or changed by the end of its read, retries on a later turn. The bytes are atomics, so
// that the reader's copy, which a writer may overlap, is no data race.
constexpr size_t title_capacity = 1024, link_capacity = 256;
std::atomic<char> shared_title[title_capacity];
std::atomic<char> shared_link[link_capacity];
std::atomic<uint32_t> sequence{0};
std::atomic<uint32_t> copied_generation{0};  // the title generation in the buffers

void signal_input() {
  input_signal.fetch_add(1);
  emscripten_futex_wake(&input_signal, 1);
}

void store_text(std::atomic<char>* to, size_t capacity, const std::string& text) {
  const size_t length = std::min(text.size(), capacity - 1);
  for (size_t i = 0; i < length; ++i) to[i].store(text[i], std::memory_order_relaxed);
  to[length].store('\0', std::memory_order_relaxed);
}

void load_text(const std::atomic<char>* from, size_t from_capacity, char* to, size_t capacity) {
  const size_t limit = std::min(from_capacity, capacity);
  size_t i = 0;
  for (; i + 1 < limit; ++i) {
    to[i] = from[i].load(std::memory_order_relaxed);
    if (to[i] == '\0') return;
  }
  to[i] = '\0';
}

void copy_title() {
  uint32_t generation = 0;
  const std::string title = current_window_title(&generation);
  const std::string link = current_window_link_parameters();
  sequence.fetch_add(1, std::memory_order_acq_rel);  // odd: being written
  std::atomic_thread_fence(std::memory_order_release);
  store_text(shared_title, title_capacity, title);
  store_text(shared_link, link_capacity, link);
  sequence.fetch_add(1, std::memory_order_release);  // even again
  copied_generation.store(generation);
  wake_window();  // a turn applies it
}

void apply(const PageEvent& e) {
  switch (e.kind) {
    case PageEventKind::character_key:
      host_character_key(e.a, e.b != 0, e.c, e.d);
      break;
    case PageEventKind::key:
      host_key(e.a, e.b != 0, e.c);
      break;
    case PageEventKind::tap:
      host_tap(e.a, e.b);
      break;
    case PageEventKind::focus_lost:
      host_focus_lost();
      break;
    case PageEventKind::full_screen_left:
      presentation_follows_window_manager(false);
      break;
    case PageEventKind::resized:
      presentation_wakeup.notify();
      break;
    case PageEventKind::raise_error:
      error(e.a);
      program_wakeup.notify();
      break;
  }
}

}  // namespace

bool queue_page_event(const PageEvent& event) {
  const uint32_t at = tail.load(std::memory_order_relaxed);
  if (at - head.load(std::memory_order_acquire) >= queue_size) return false;
  queued[at % queue_size] = event;
  tail.store(at + 1, std::memory_order_release);
  signal_input();
  return true;
}

void page_title_may_have_changed() {
  if (window_title_generation() != copied_generation.load()) signal_input();
}

bool take_page_title(uint32_t* applied, char* title, size_t title_size, char* link,
                     size_t link_size) {
  if (copied_generation.load() == *applied) return false;
  const uint32_t before = sequence.load(std::memory_order_acquire);
  if (before & 1) return false;
  const uint32_t generation = copied_generation.load();
  load_text(shared_title, title_capacity, title, title_size);
  load_text(shared_link, link_capacity, link, link_size);
  std::atomic_thread_fence(std::memory_order_acquire);
  if (sequence.load(std::memory_order_relaxed) != before) return false;
  *applied = generation;
  return true;
}

void page_input_thread() {
  for (;;) {
    const uint32_t seen = input_signal.load();
    uint32_t at = head.load(std::memory_order_relaxed);
    while (at != tail.load(std::memory_order_acquire)) {
      const PageEvent e = queued[at % queue_size];
      head.store(++at, std::memory_order_release);
      apply(e);
    }
    if (window_title_generation() != copied_generation.load()) copy_title();
    // Sleeps until the next event or title; a signal since `seen` returns at once.
    emscripten_futex_wait(&input_signal, seen, INFINITY);
  }
}
