// The host's side of process entry: the executable's main hands its program body to host_main.
#pragma once

// Prepares the runtime, runs program on the program thread and the window with its event loop on
// the calling thread. Never returns: the process ends from the main loop thread (orderly shutdown)
// or from a fatal error.
[[noreturn]] void host_main(int argc, char** argv, void (*program)());
