// Start-up failures: every failure the game can detect before it runs ends the process with
// status 1 and one line on standard error, "vostrandelimerix: ...", that names the cause as far as
// it is known. The libraries report what failed (no display, no OpenGL context) but often not
// why; a process short of file descriptors or of memory is told apart here.
#pragma once

#include <string>

// What the process is short of, as far as it can tell: too few file descriptors left under its
// limit, or no room for memory (address space) left; "" when neither. Leaves errno alone.
std::string startup_shortage();

// Prints "vostrandelimerix: SHORTAGE: WHAT" (or without the shortage when none is found) as one
// line on standard error and ends the process with status 1.
[[noreturn]] void fail_to_start(const std::string& what);

// From now on an exception that nothing catches (no memory, mostly) ends the process the same way,
// with one line and status 1, rather than aborting without a word.
void report_uncaught_exceptions();
