// Errors, error dialogs and program end.

#include "runtime/core/error.h"

#include <signal.h>
#include <string.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "runtime/core/arithmetic.h"
#include "runtime/core/dialog_host.h"
#include "runtime/core/process_end.h"
#include "runtime/core/wakeup.h"

std::atomic<uint32_t> new_error{0};
std::atomic<int32_t> zqevent{0};
uint32_t ercl = 0;
uint32_t inclercl = 0;
const char* includedfilename = nullptr;
std::atomic<uint8_t> close_program{0};
std::atomic<uint8_t> stop_program{0};
std::atomic<uint8_t> suspend_program{0};
std::atomic<uint32_t> exit_ok{0};

namespace {

constexpr int32_t message_box_system_modal = 4096;
constexpr int32_t message_box_ok = 0;
constexpr int32_t message_box_yes_no = 4;
constexpr int32_t answer_ok = 1;
constexpr int32_t answer_other = 2;
constexpr int32_t answer_yes = 6;
constexpr int32_t answer_no = 7;

// A parked program thread has nothing left to do; it wakes this rarely only because it must sleep
// in some unit.
constexpr auto parked_sleep = std::chrono::hours(24);

// argv[0] as main received it (owned copy; null when not set).
char* program_argument0 = nullptr;

// Exit status after a fatal or critical error: the program failed, and a launcher or script
// must be able to tell.
constexpr int failure_exit_status = 1;

// Ends the process at once with a failure status, from whichever thread got here. The other
// threads are still running, so static destructors and atexit handlers are skipped; buffered
// output is kept.
[[noreturn]] void exit_process_after_failure() { end_process(failure_exit_status); }

struct FatalError {
  int32_t number;
  const char* text;
  const char* title;
};

// Errors that never become pending: error() shows their dialog and ends the process.
constexpr FatalError fatal_errors[] = {
    {11, "Division by zero", "Critical Error"},
    {256, "Out of stack space", "Critical Error"},
    {257, "Out of memory", "Critical Error #1"},
    {259, "Cannot find dynamic library file", "Critical Error"},
    {260, "Sub/Function does not exist in dynamic library", "Critical Error"},
    {261, "Sub/Function does not exist in dynamic library", "Critical Error"},
    {270, "_GL command called outside of SUB _GL's scope", "Critical Error"},
    {271, "END/SYSTEM called within SUB _GL's scope", "Critical Error"},
    {502, "Out of memory", "Critical Error #2"},
    {503, "Out of memory", "Critical Error #3"},
    {504, "Out of memory", "Critical Error #4"},
    {505, "Out of memory", "Critical Error #5"},
    {506, "Out of memory", "Critical Error #6"},
    {507, "Out of memory", "Critical Error #7"},
    {508, "Out of memory", "Critical Error #8"},
    {509, "Out of memory", "Critical Error #9"},
    {510, "Out of memory", "Critical Error #10"},
    {511, "Out of memory", "Critical Error #11"},
    {512, "Out of memory", "Critical Error #12"},
    {513, "Out of memory", "Critical Error #13"},
    {514, "Out of memory", "Critical Error #14"},
    {515, "Out of memory", "Critical Error #15"},
    {516, "Out of memory", "Critical Error #16"},
    {517, "Out of memory", "Critical Error #17"},
    {518, "Out of memory", "Critical Error #18"},
};

const FatalError* find_fatal_error(int32_t n) {
  for (const FatalError& fatal : fatal_errors)
    if (fatal.number == n) return &fatal;
  return nullptr;
}

struct ErrorMessage {
  int32_t number;
  const char* text;
};

constexpr ErrorMessage error_messages[] = {
    {0, "No error"},
    {1, "NEXT without FOR"},
    {2, "Syntax error"},
    {3, "RETURN without GOSUB"},
    {4, "Out of DATA"},
    {5, "Illegal function call"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {8, "Label not defined"},
    {9, "Subscript out of range"},
    {10, "Duplicate definition"},
    {12, "Illegal in direct mode"},
    {13, "Type mismatch"},
    {14, "Out of string space"},
    {16, "String formula too complex"},
    {17, "Cannot continue"},
    {18, "Function not defined"},
    {19, "No RESUME"},
    {20, "RESUME without error"},
    {24, "Device timeout"},
    {25, "Device fault"},
    {26, "FOR without NEXT"},
    {27, "Out of paper"},
    {29, "WHILE without WEND"},
    {30, "WEND without WHILE"},
    {33, "Duplicate label"},
    {35, "Subprogram not defined"},
    {37, "Argument-count mismatch"},
    {38, "Array not defined"},
    {40, "Variable required"},
    {50, "FIELD overflow"},
    {51, "Internal error"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {54, "Bad file mode"},
    {55, "File already open"},
    {56, "FIELD statement active"},
    {57, "Device I/O error"},
    {58, "File already exists"},
    {59, "Bad record length"},
    {61, "Disk full"},
    {62, "Input past end of file"},
    {63, "Bad record number"},
    {64, "Bad file name"},
    {67, "Too many files"},
    {68, "Device unavailable"},
    {69, "Communication-buffer overflow"},
    {70, "Permission denied"},
    {71, "Disk not ready"},
    {72, "Disk-media error"},
    {73, "Feature unavailable"},
    {74, "Rename across disks"},
    {75, "Path/File access error"},
    {76, "Path not found"},
    {258, "Invalid handle"},
    {300, "Memory region out of range"},
    {301, "Invalid size"},
    {302, "Source memory region out of range"},
    {303, "Destination memory region out of range"},
    {304, "Source and destination memory regions out of range"},
    {305, "Source memory has been freed"},
    {306, "Destination memory has been freed"},
    {307, "Memory already freed"},
    {308, "Memory has been freed"},
    {309, "Memory not initialized"},
    {310, "Source memory not initialized"},
    {311, "Destination memory not initialized"},
    {312, "Source and destination memory not initialized"},
    {313, "Source and destination memory have been freed"},
    {314, "_ASSERT failed"},
    {315, "_ASSERT failed (check console for description)"},
};

// Errors in this range are reported without the option to continue.
constexpr uint32_t first_critical_error = 300;
constexpr uint32_t last_critical_error = 315;

// The file name part of argv[0]: everything after the last '/' or '\'.
const char* program_file_name() {
  if (!program_argument0) return "";
  const char* name = program_argument0;
  for (const char* p = program_argument0; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return name;
}

// printf into a buffer sized by a measuring pass; null when formatting or allocation fails.
// The caller frees the result.
template <typename... Args>
char* format_new(const char* format, Args... args) {
  int needed = std::snprintf(nullptr, 0, format, args...);
  if (needed < 0) return nullptr;
  auto* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(needed) + 1));
  if (!buffer) return nullptr;
  std::snprintf(buffer, static_cast<size_t>(needed) + 1, format, args...);
  return buffer;
}

// Every dialog also goes to standard error as one line, so that a player without dialogs, a
// launcher's log or a terminal keeps the message even when no dialog can be shown.
void log_dialog(const char* caption, const char* text) {
  std::fprintf(stderr, "vostrandelimerix: %s: ", caption);
  for (const char* c = text; *c; ++c) std::fputc(*c == '\n' ? ' ' : *c, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// The host's dialogs, null when it has none. Set once early in start-up, before other threads
// run; read by every thread that shows a dialog and by the shutdown.
std::atomic<const DialogHost*> dialog_host{nullptr};

// Logs the dialog, then lets the host show it and wait for the player.
DialogAnswer show_dialog(const char* caption, const char* text, DialogButtons buttons) {
  log_dialog(caption, text);
  const DialogHost* host = dialog_host.load(std::memory_order_acquire);
  if (!host || !host->show) {
    std::fprintf(stderr, "vostrandelimerix: no dialog could be shown (this host has none)\n");
    return DialogAnswer::unanswered;
  }
  return host->show(caption, text, buttons);
}

}  // namespace

void set_program_arguments(int argc, char** argv) {
  std::free(program_argument0);
  program_argument0 = nullptr;
  if (argc > 0 && argv && argv[0]) program_argument0 = strdup(argv[0]);
}

void error(int32_t n) {
  if (const FatalError* fatal = find_fatal_error(n)) {
    MessageBox2(0, fatal->text, fatal->title, message_box_system_modal | message_box_ok);
    exit_process_after_failure();
  }
  if (new_error.load(std::memory_order_relaxed) != 0) return;  // the first error stands
  new_error.store(n <= 0 ? uint32_t{illegal_function_call} : static_cast<uint32_t>(n),
                  std::memory_order_relaxed);
  zqevent.store(1, std::memory_order_release);
}

void fix_error() {
  uint32_t number = new_error.load(std::memory_order_relaxed);
  bool critical = number >= first_critical_error && number <= last_critical_error;

  uint32_t shown_line = inclercl ? inclercl : ercl;
  const char* shown_file = (inclercl && includedfilename) ? includedfilename : "main module";
  char* text = format_new("Line: %u (in %s)\n%s%s", shown_line, shown_file,
                          human_error(static_cast<int32_t>(number)), critical ? "" : "\nContinue?");
  char* title = format_new("%s%u - %s", critical ? "Critical Error #" : "Unhandled Error #", number,
                           program_file_name());
  if (!text || !title) exit_process_after_failure();

  if (critical) {
    MessageBox2(0, text, title, message_box_ok);
    exit_process_after_failure();
  }

  int32_t answer = MessageBox2(0, text, title, message_box_system_modal | message_box_yes_no);
  std::free(text);
  std::free(title);
  if (answer == answer_no || answer == answer_ok) {
    close_program.store(1, std::memory_order_release);
    presentation_wakeup.notify();
    end();
  }
  new_error.store(0, std::memory_order_relaxed);
}

const char* human_error(int32_t n) {
  for (const ErrorMessage& message : error_messages)
    if (message.number == n) return message.text;
  return "Unprintable error";
}

void acknowledge_stop(stop_acknowledgement bit) {
  exit_ok.fetch_or(bit, std::memory_order_release);
  presentation_wakeup.notify();
}

void end() {
  acknowledge_stop(stop_acknowledged_by_program);
  for (;;) {
    const uint32_t seen = program_wakeup.generation();
    if (stop_program.load(std::memory_order_acquire)) break;
    program_wakeup.wait(seen);
  }
  // The host loop closes files and ends the process; this thread just waits for that.
  for (;;) std::this_thread::sleep_for(parked_sleep);
}

void set_dialog_host(const DialogHost* host) { dialog_host.store(host, std::memory_order_release); }

void close_open_dialog() {
  const DialogHost* host = dialog_host.load(std::memory_order_acquire);
  if (host && host->close_open) host->close_open();
}

void program_end() {
  close_program.store(1, std::memory_order_release);
  presentation_wakeup.notify();
  end();
}

void raise_event() {
  zqevent.store(1, std::memory_order_release);
  program_wakeup.notify();
}

int32_t MessageBox(int32_t /*window*/, const char* text, const char* caption, int32_t type) {
  if (!text) text = "";
  if (!caption) caption = "";
  type &= ~message_box_system_modal;
  if (type == message_box_yes_no) {
    // No, a closed dialog and one that could not be shown all count as No.
    return show_dialog(caption, text, DialogButtons::yes_no) == DialogAnswer::yes ? answer_yes
                                                                                  : answer_no;
  }
  if (type == message_box_ok) {
    show_dialog(caption, text, DialogButtons::ok);
    return answer_ok;
  }
  return answer_other;
}

int32_t MessageBox2(int32_t window, const char* text, const char* caption, int32_t type) {
  return MessageBox(window, text, caption, type);
}

void alert(int32_t number) {
  char text[100] = {};
  std::snprintf(text, sizeof text, "%d", number);
  MessageBox(0, text, "Alert", message_box_ok);
}

void alert(const char* text) { MessageBox(0, text, "Alert", message_box_ok); }

uint32_t array_check(uint32_t index, uint32_t count) {
  if (index < count) return index;
  error(subscript_out_of_range);
  return 0;
}

// The fault of an integer division is synchronous: the handler runs at the faulting instruction of
// program code, never inside the allocator or stdio, so error() may show its dialog from here.
void division_by_zero_handler(int /*signal*/) { error(division_by_zero); }

void install_division_by_zero_handler() {
  // Without the signal, int_divide and int_modulo test the divisor themselves.
  if constexpr (!division_fault_signals) return;
  struct sigaction action = {};
  action.sa_handler = division_by_zero_handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGFPE, &action, nullptr);
}

void fpu_reinit() {
#if defined(__x86_64__) || defined(__i386__)
  // All x87 exceptions masked, 64-bit extended precision, round to nearest.
  const uint16_t control_word = 0x037F;
  asm volatile("fldcw %0" : : "m"(control_word));
#else
  // Other processors have no x87 unit; their floating-point defaults already mask exceptions
  // and round to nearest.
#endif
}
