#include "runtime/host/web/web_dialogs.h"

#include <emscripten.h>
#include <emscripten/threading.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// One dialog at a time: a thread that wants to show one while another is open waits its turn.
std::mutex turn;
// The open dialog's answer, and whether the host has been closed for good.
std::mutex state_lock;
std::condition_variable answered;
bool waiting = false;
DialogAnswer answer = DialogAnswer::unanswered;
bool closed_for_good = false;
std::atomic<bool> on_page{false};

DialogAnswer show(const char* caption, const char* text, DialogButtons buttons) {
  // The page's main thread must never wait: there a dialog is shown and counts as unanswered.
  const bool may_wait = !emscripten_is_main_runtime_thread();
  std::unique_lock<std::mutex> one_at_a_time(turn, std::defer_lock);
  if (may_wait) one_at_a_time.lock();
  {
    std::lock_guard<std::mutex> guard(state_lock);
    if (closed_for_good) return DialogAnswer::unanswered;
    waiting = may_wait;
    answer = DialogAnswer::unanswered;
  }
  on_page.store(true);
  MAIN_THREAD_EM_ASM({ Module.vost.dialog(UTF8ToString($0), UTF8ToString($1), $2); }, caption, text,
                     buttons == DialogButtons::yes_no ? 1 : 0);
  if (!may_wait) return DialogAnswer::unanswered;
  std::unique_lock<std::mutex> lock(state_lock);
  answered.wait(lock, [] { return !waiting; });
  return answer;
}

void close_open() {
  {
    std::lock_guard<std::mutex> guard(state_lock);
    closed_for_good = true;
    waiting = false;
    answer = DialogAnswer::unanswered;
  }
  answered.notify_all();
  if (on_page.exchange(false)) MAIN_THREAD_ASYNC_EM_ASM({ Module.vost.closeDialog(); });
}

const DialogHost host = {show, close_open};

}  // namespace

const DialogHost* web_dialog_host() { return &host; }

bool web_dialog_open() { return on_page.load(); }

// The player answered the dialog on the page: 6 Yes, 7 No, 1 OK (main thread).
extern "C" EMSCRIPTEN_KEEPALIVE void web_dialog_answered(int button) {
  on_page.store(false);
  {
    std::lock_guard<std::mutex> guard(state_lock);
    if (!waiting) return;
    waiting = false;
    answer = button == 6 ? DialogAnswer::yes : button == 7 ? DialogAnswer::no : DialogAnswer::ok;
  }
  answered.notify_all();
}
