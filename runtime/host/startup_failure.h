// Start-up failures: every failure the game can detect before it runs ends the process with
// status 1 and one line on standard error, "vostrandelimerix: ...", that names the cause as far as
// it is known. The libraries report what failed (no display, no OpenGL context) but often not
// why; a process short of file descriptors or of memory is told apart here.
//
// A game started from a desktop menu has no terminal, and a line on its standard error reaches no
// player. There (standard error is not a terminal) the failure is also shown in a dialog through
// the runtime's dialogs, which write that one line themselves (error.h). A process short of
// descriptors or memory starts no dialog, which needs both: the line is all there is.
#pragma once

#include <string>

// What the process is short of, as far as it can tell: too few file descriptors left under its
// limit, or no room for memory (address space) left; "" when neither. Leaves errno alone.
std::string startup_shortage();

// Caption of the dialog that shows a start-up failure.
extern const char startup_failure_caption[];

// Says why the game cannot start and ends the process with status 1. On a terminal, or when
// something is short, it prints "vostrandelimerix: SHORTAGE: WHAT" (or without the shortage when
// none is found). Otherwise a dialog shows WHAT and waits for OK, and standard error gets the
// dialog's line, "vostrandelimerix: CAPTION: WHAT" (and a second line if no dialog could be shown).
[[noreturn]] void fail_to_start(const std::string& what);

// From now on an exception that nothing catches (no memory, mostly) ends the process the same way,
// with one line and status 1, rather than aborting without a word.
void report_uncaught_exceptions();
