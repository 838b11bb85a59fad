// The statement check's slow path: the event pass.
//
// It sits above the error report and the user timers and calls into both: it reports a pending
// error, holds a paused program, ends a program the host asked to stop and runs the handlers of
// due timers. Keeping it apart from error.cpp means the error report and the timers never call
// each other.
#pragma once

#include <cstdint>

// Runs at the statement check once zqevent is raised (program thread only).
void evnt(uint32_t line, uint32_t included_line, const char* included_file);
// Runs the handlers of due timers. Key and joystick traps have no registration in this runtime.
void events();
