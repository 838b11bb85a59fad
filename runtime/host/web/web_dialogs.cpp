#include "runtime/host/web/web_dialogs.h"

#include <emscripten.h>
#include <emscripten/threading.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <mutex>
#include <string>

#include "runtime/host/host_seam.h"

// The page's main thread never takes a lock a worker may hold: a worker the browser stops while
// the page is left could hold it for ever. So a dialog is handed over through atomics: the
// showing thread publishes its texts and wakes the page, the page's turn puts the dialog up, and
// the answer comes back in one word the showing thread waits on.

namespace {

// One dialog at a time: a thread that wants to show one while another is open waits its turn
// (workers only).
std::mutex one_at_a_time;

// The dialog to put up, written by the thread that holds one_at_a_time while no dialog of its is
// up, then published by request_generation (release); the page reads them after its acquire.
std::string request_caption, request_text;
bool request_yes_no = false;
std::atomic<uint32_t> request_generation{0};
// close_open's requests to take the dialog on the page down.
std::atomic<uint32_t> close_generation{0};

// The answer: 0 while none, else 1 OK, 6 Yes, 7 No, -1 closed without one. The page stores it and
// wakes the waiting thread.
alignas(4) std::atomic<int32_t> answer_word{0};
std::atomic<bool> closed_for_good{false};
std::atomic<bool> on_page{false};

// Main thread: what the page last put up and took down.
uint32_t shown_generation = 0, closed_generation = 0;

void put_up(const std::string& caption, const std::string& text, bool yes_no) {
  on_page.store(true);
  EM_ASM({ Module.vost.dialog(UTF8ToString($0), UTF8ToString($1), $2); }, caption.c_str(),
         text.c_str(), yes_no ? 1 : 0);
}

DialogAnswer answer_of(int32_t word) {
  switch (word) {
    case 6:
      return DialogAnswer::yes;
    case 7:
      return DialogAnswer::no;
    case 1:
      return DialogAnswer::ok;
    default:
      return DialogAnswer::unanswered;
  }
}

DialogAnswer show(const char* caption, const char* text, DialogButtons buttons) {
  if (closed_for_good.load()) return DialogAnswer::unanswered;
  const bool yes_no = buttons == DialogButtons::yes_no;
  if (emscripten_is_main_runtime_thread()) {
    // The page's main thread must never wait: the dialog goes up and counts as unanswered.
    put_up(caption ? caption : "", text ? text : "", yes_no);
    return DialogAnswer::unanswered;
  }
  std::lock_guard<std::mutex> turn(one_at_a_time);
  if (closed_for_good.load()) return DialogAnswer::unanswered;
  request_caption = caption ? caption : "";
  request_text = text ? text : "";
  request_yes_no = yes_no;
  answer_word.store(0);
  request_generation.fetch_add(1, std::memory_order_release);
  wake_window();
  int32_t word = 0;
  while ((word = answer_word.load()) == 0)
    emscripten_futex_wait(reinterpret_cast<int32_t*>(&answer_word), 0, INFINITY);
  return answer_of(word);
}

void close_open() {
  closed_for_good.store(true);
  int32_t none = 0;
  answer_word.compare_exchange_strong(none, -1);
  emscripten_futex_wake(reinterpret_cast<int32_t*>(&answer_word), INT_MAX);
  close_generation.fetch_add(1);
  wake_window();
}

const DialogHost host = {show, close_open};

}  // namespace

const DialogHost* web_dialog_host() { return &host; }

bool web_dialog_open() { return on_page.load(); }

void web_dialogs_turn() {
  const uint32_t request = request_generation.load(std::memory_order_acquire);
  if (request != shown_generation) {
    shown_generation = request;
    if (!closed_for_good.load()) put_up(request_caption, request_text, request_yes_no);
  }
  const uint32_t close = close_generation.load();
  if (close != closed_generation) {
    closed_generation = close;
    if (on_page.exchange(false)) EM_ASM({ Module.vost.closeDialog(); });
  }
}

// The player answered the dialog on the page: 6 Yes, 7 No, 1 OK (main thread).
extern "C" EMSCRIPTEN_KEEPALIVE void web_dialog_answered(int button) {
  on_page.store(false);
  int32_t none = 0;
  answer_word.compare_exchange_strong(none, button == 6 || button == 7 ? button : 1);
  emscripten_futex_wake(reinterpret_cast<int32_t*>(&answer_word), INT_MAX);
}
