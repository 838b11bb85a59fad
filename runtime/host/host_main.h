// Process entry, the host's side: the executable's main hands its program body to host_main.
// Each host implements it (runtime/host/window/ the desktop's, runtime/host/web/ the browser's).
#pragma once

// Prepares the runtime, runs program on the program thread, with the timer and main loop threads,
// and shows the screen on the calling thread. Never returns: on the desktop the process ends from
// the main loop thread (orderly shutdown) or from a fatal error; in a browser the calling thread
// goes back to the page's event loop and the game lives on in its threads.
[[noreturn]] void host_main(int argc, char** argv, void (*program)());
