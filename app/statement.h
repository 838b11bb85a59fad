// How every puzzle statement runs.
//
// Each statement is followed by check_statement(line) with its line number, which error reports
// show. While an error is pending, a condition counts as true and a counted loop skips its start
// value and exit test on entry, so that control reaches the next check, which reports the error.
// Stores into table elements go through program_table::set, which stores nothing while an error
// is pending. These helpers keep those rules in one place.
#pragma once

#include <cstdint>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"

// The value of an IF condition: the condition itself, or true while an error is pending.
inline bool condition(bool value) { return value || error_pending(); }

// IF condition THEN ... at the given line: the statement's check follows the condition, and the
// result says whether the THEN part runs.
inline bool branch(bool value, uint32_t line) {
  const bool taken = condition(value);
  check_statement(line);
  return taken;
}

// What a loop body asks for after a pass.
enum class loop_step { next, leave };

// FOR variable = first TO last STEP step ... NEXT, with the loop statement's check at the top of
// every pass. first, last and step are evaluated once; the next value is the variable plus step,
// so the body may change the variable. Entered while an error is pending, the variable keeps its
// value and the body runs without the exit test.
template <class Body>
inline void counted_loop(int16_t& variable, int32_t first, int32_t last, int32_t step,
                         uint32_t line, Body&& body) {
  bool entered_by_error = error_pending();
  int32_t value = first;
  for (;;) {
    if (!entered_by_error) {
      variable = static_cast<int16_t>(value);
      if (step < 0 ? value < last : value > last) return;
    }
    entered_by_error = false;
    check_statement(line);
    if (body() == loop_step::leave) return;
    value = variable + step;
  }
}

// A procedure activation: notes the temporary base and the scratch pointers on entry and rolls
// them back on exit. Declare it first in a procedure, so that locals made after it are released
// before it.
class procedure_activation {
 public:
  procedure_activation() : frame_(procedure_enter()) {}
  ~procedure_activation() { procedure_exit(frame_); }
  procedure_activation(const procedure_activation&) = delete;
  procedure_activation& operator=(const procedure_activation&) = delete;

  // Temporaries listed at or above this index belong to the running statement.
  uint32_t temporary_base() const { return frame_.tmp_base; }

 private:
  procedure_frame frame_;
};

// A 16-bit local variable of a procedure: 8 bytes of scratch memory, zero on entry.
int16_t& local_integer();
