// The X11 desktop's dialogs through xmessage.

#include "runtime/host/window/xmessage_dialog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Trailing spaces appended to every dialog text; they widen xmessage's window so that the buttons
// are not squeezed against short messages.
constexpr size_t dialog_text_padding = 25;

// xmessage's exit codes for the buttons it is given.
constexpr int exit_code_yes = 2;
constexpr int exit_code_no_or_ok = 1;

// The dialog on screen, shared by every thread that shows one and by the shutdown that closes it.
// Everything in it is guarded by mutex.
struct {
  std::mutex mutex;
  // Notified when a dialog ends and when dialogs close for good.
  std::condition_variable turn;
  // A dialog is starting or on screen; the next one waits for its turn.
  bool in_use = false;
  // Its process once started. The process is reaped only after this is cleared, so that
  // close_open() never signals an id the system has already handed to another process.
  pid_t pid = 0;
  // close_open() was called: nothing starts any more.
  bool closed = false;
} dialogs;

// Starts xmessage with argv in a child that cannot outlive this process: the kernel sends it
// SIGTERM when the process ends, however it ends (a fatal error, a signal, the close button).
// The child does only async-signal-safe work between fork and exec. Returns the child's id, or
// -1 with errno set when it could not be started (errors of exec come back through a pipe).
pid_t start_child(char* const argv[]) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return -1;
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) {
    const int saved = errno;
    close(report[0]);
    close(report[1]);
    errno = saved;
    return -1;
  }
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);  // the parent ended before the line above took effect
    execvp(argv[0], argv);
    const int failure = errno;
    ssize_t ignored = write(report[1], &failure, sizeof failure);
    static_cast<void>(ignored);
    _exit(127);
  }
  close(report[1]);
  int failure = 0;
  ssize_t got;
  do {
    got = read(report[0], &failure, sizeof failure);
  } while (got == -1 && errno == EINTR);
  close(report[0]);
  if (got == static_cast<ssize_t>(sizeof failure)) {
    while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
    }
    errno = failure;
    return -1;
  }
  return child;
}

// Starts the xmessage of one dialog. The arguments go to the program as they are, one argv entry
// each: no shell ever sees the caption or the text. Returns its id, or -1 (then standard error
// says why).
pid_t start_xmessage(const char* caption, const char* text, DialogButtons buttons) {
  const size_t text_length = std::strlen(text);
  auto* padded_text = static_cast<char*>(std::malloc(text_length + dialog_text_padding + 1));
  pid_t child = -1;
  if (padded_text) {
    std::memcpy(padded_text, text, text_length);
    std::memset(padded_text + text_length, ' ', dialog_text_padding);
    padded_text[text_length + dialog_text_padding] = '\0';

    char program[] = "xmessage";
    char center[] = "-center";
    char title_option[] = "-title";
    char buttons_option[] = "-buttons";
    char yes_no[] = "Yes:2,No:1";
    char ok[] = "OK:1";
    char* argv[] = {program,        center,
                    title_option,   const_cast<char*>(caption),
                    buttons_option, buttons == DialogButtons::yes_no ? yes_no : ok,
                    padded_text,    nullptr};
    child = start_child(argv);
    std::free(padded_text);
  }
  if (child < 0) {
    std::fprintf(stderr, "vostrandelimerix: no dialog could be shown (xmessage: %s)\n",
                 std::strerror(errno));
  }
  return child;
}

// Waits until the child has ended, leaving it unreaped.
siginfo_t wait_until_ended(pid_t child) {
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) == -1 &&
         errno == EINTR) {
  }
  return info;
}

void reap(pid_t child) {
  while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
  }
}

// The button that ended xmessage; any other end (a signal, a failure) is no answer.
DialogAnswer answer_of(const siginfo_t& ended, DialogButtons buttons) {
  if (ended.si_code != CLD_EXITED) return DialogAnswer::unanswered;
  if (buttons == DialogButtons::ok)
    return ended.si_status == exit_code_no_or_ok ? DialogAnswer::ok : DialogAnswer::unanswered;
  if (ended.si_status == exit_code_yes) return DialogAnswer::yes;
  if (ended.si_status == exit_code_no_or_ok) return DialogAnswer::no;
  return DialogAnswer::unanswered;
}

// Gives the turn to the next dialog (dialogs.mutex held).
void end_turn_locked() {
  dialogs.pid = 0;
  dialogs.in_use = false;
  dialogs.turn.notify_all();
}

DialogAnswer show_xmessage(const char* caption, const char* text, DialogButtons buttons) {
  {
    std::unique_lock lock(dialogs.mutex);
    dialogs.turn.wait(lock, [] { return !dialogs.in_use || dialogs.closed; });
    if (dialogs.closed) return DialogAnswer::unanswered;
    dialogs.in_use = true;
  }
  // Started outside the lock, so that close_open() never waits for a process to start.
  const pid_t child = start_xmessage(caption, text, buttons);
  {
    const std::lock_guard lock(dialogs.mutex);
    if (child < 0) {
      end_turn_locked();
      return DialogAnswer::unanswered;
    }
    dialogs.pid = child;
    if (dialogs.closed) kill(child, SIGTERM);  // closed while it was starting
  }
  const siginfo_t ended = wait_until_ended(child);
  {
    const std::lock_guard lock(dialogs.mutex);
    end_turn_locked();
  }
  reap(child);
  return answer_of(ended, buttons);
}

void close_open_xmessage() {
  const std::lock_guard lock(dialogs.mutex);
  dialogs.closed = true;
  if (dialogs.pid > 0) kill(dialogs.pid, SIGTERM);
  dialogs.turn.notify_all();
}

constexpr DialogHost xmessage_host = {show_xmessage, close_open_xmessage};

}  // namespace

const DialogHost* xmessage_dialog_host() { return &xmessage_host; }

void reopen_xmessage_dialogs() {
  const std::lock_guard lock(dialogs.mutex);
  dialogs.closed = false;
}
