// Errors, the statement check and program end.
//
// Runtime operations never unwind and never return failure codes. An operation that meets a bad
// argument calls error(n): the first error of a statement is recorded in new_error and zqevent is
// raised; later ones are dropped. After every program statement the program calls
// check_statement(line), whose fast path is one relaxed load of zqevent and a branch; the slow
// path, evnt() (event_pass.h), reports the pending error in a dialog, holds a paused program,
// ends a program the host asked to stop and runs due timers.
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/core/event_pass.h"

// Pending error number, 0 = none. Written by error()/fix_error() on the program thread; read by
// every runtime statement (relaxed: only the program thread writes it).
extern std::atomic<uint32_t> new_error;
// Event flag: non-zero when the next statement check must call evnt(). Written by the program
// thread (error, evnt), the keyboard handler (pause), the timer thread (due timer) and the main
// loop (stop request). A writer stores the flag it announces first and zqevent after it with
// release; evnt() loads it with acquire.
extern std::atomic<int32_t> zqevent;
// Line of the statement at which the pending error was reported (program thread only).
extern uint32_t ercl;
extern uint32_t inclercl;
extern const char* includedfilename;

// The program (or the window) has asked for the process to close. Written by the program thread
// (end statement, No answer) and by the window thread (the Break key); read by the main loop
// thread, which each writer wakes.
extern std::atomic<uint8_t> close_program;
// The host asks the program thread to stop at its next check. Written by the main loop thread;
// read by the program and timer threads.
extern std::atomic<uint8_t> stop_program;
// Bit 0 while the user has paused the program (Pause key). Written by the keyboard handler on the
// window thread; read by evnt() on the program thread.
extern std::atomic<uint8_t> suspend_program;
// Shutdown acknowledgements: bit 0 program thread stopped (end()), bit 1 timer thread finished.
// Written by those threads through acknowledge_stop; read by the main loop thread.
extern std::atomic<uint32_t> exit_ok;
enum stop_acknowledgement : uint32_t {
  stop_acknowledged_by_program = 1,
  stop_acknowledged_by_timer_thread = 2,
};
// Sets one bit of exit_ok and wakes the shutdown, which waits for both.
void acknowledge_stop(stop_acknowledgement bit);

// Error numbers the runtime raises, by name. Those below 256 are the classic table's (their
// messages are in error.cpp); 257 and 502 to 518 are fatal "Out of memory" errors whose number
// tells which of the runtime's own tables ran out, and error() ends the process after their dialog.
// clang-format off
enum error_number : int32_t {
  illegal_function_call      = 5,
  overflow                   = 6,
  out_of_memory              = 7,
  subscript_out_of_range     = 9,
  division_by_zero           = 11,
  out_of_string_space        = 14,
  out_of_memory_fatal        = 257,  // the program's own tables (timer slots, game entries)
  invalid_handle             = 258,
  image_table_full           = 502,
  image_free_list_full       = 503,
  static_memory_full         = 504,  // the scratch stack's blocks
  dynamic_block_too_large    = 505,
  low_memory_stack_full      = 506,
  dynamic_block_table_full   = 507,
  string_descriptors_full    = 508,
  low_memory_strings_full    = 509,
  string_list_full           = 510,
  temporary_string_list_full = 511,
  string_data_full           = 512,
  low_memory_string_data_full = 513,
  low_memory_string_too_long = 514,
  fixed_string_too_long      = 515,  // no statement of this runtime makes fixed strings yet
  line_input_buffer_full     = 516,  // the keyboard line input's buffers (not in this runtime)
  line_input_history_full    = 517,
  memory_block_copy_failed   = 518,  // memory-block copies (not in this runtime)
};
// clang-format on

// Process arguments kept by main for the report title (argv[0]); empty when not set.
void set_program_arguments(int argc, char** argv);

// Raises zqevent for another thread's announcement (its own flag stored first) and wakes the
// program thread if it waits for a key or in a pause, so that its statement check runs. A
// runtime operation on the program thread itself raises errors with error() instead.
void raise_event();
// Raises error n (fatal codes show their dialog and exit the process at once).
void error(int32_t n);
// Reports the pending error in a dialog; called only by evnt().
void fix_error();
// Message text of error number n ("Unprintable error" for unknown numbers).
const char* human_error(int32_t n);
// Ends the program thread's part in the process; never returns.
[[noreturn]] void end();
// The program's end statement: asks the process to close, then end().
[[noreturn]] void program_end();

// Ends the dialog on screen, if any, as if it had been closed without an answer (a Yes/No
// report then counts as No), and lets no dialog start after it. The shutdown calls it so that a
// dialog cannot hold the program thread, or outlive the game.
void close_open_dialog();
// Modal dialogs through the host's dialogs (runtime/core/dialog_host.h). Each dialog's caption
// and text also go to standard error as one line. Yes/No (type 4) gives 6 for Yes and 7 for No,
// a closed dialog or one that cannot be shown; OK (type 0) gives 1 whatever happened; other types
// show nothing and give 2. The system-modal bit 4096 is ignored.
int32_t MessageBox(int32_t window, const char* text, const char* caption, int32_t type);
int32_t MessageBox2(int32_t window, const char* text, const char* caption, int32_t type);
void alert(int32_t number);
void alert(const char* text);

// index if index < count, else error 9 and 0.
uint32_t array_check(uint32_t index, uint32_t count);

// SIGFPE handler: raises the fatal "Division by zero".
void division_by_zero_handler(int signal);
// Installs division_by_zero_handler for SIGFPE (empty mask, no flags) where an integer division
// by zero raises it; elsewhere nothing, since the divisions test themselves
// (runtime/core/arithmetic.h). The program thread calls it first thing.
void install_division_by_zero_handler();
// Loads the x87 control word 0x037F (exceptions masked, 64-bit precision, round to nearest).
void fpu_reinit();

// The statement check the program calls after every statement with the statement's line number.
inline void check_statement(uint32_t line) {
  if (zqevent.load(std::memory_order_relaxed)) [[unlikely]]
    evnt(line, 0, nullptr);
}

// True while an error is pending: runtime statements then do nothing, conditions count as true
// and counted loops skip their start value and exit test.
inline bool error_pending() { return new_error.load(std::memory_order_relaxed) != 0; }
