// Start-up choices taken from the process's command line that the host honours.
//
// The executable's main sets these before it starts any thread (thread creation orders the
// store before every read); afterwards only the threads named beside each value touch it.
#pragma once

#include <atomic>

#include "runtime/host/window_geometry.h"

// Open the game in the windowed presentation instead of full screen. Set by main; read and
// cleared by sub__fullscreen on the program thread: the program's first request for a full-screen
// presentation leaves the window as it is and clears the flag. Later requests and Alt+Enter
// change the presentation as usual.
extern std::atomic<bool> start_windowed;

// How the picture is scaled and the windowed window's size (window_geometry.h). Set by main;
// read by the display callback on the window thread, never written afterwards.
extern PresentationOptions presentation_options;
