// What the process does with X errors and with a lost X connection.
//
// Xlib's own handlers end the process with exit() from whichever thread met the error, and exit()
// then runs static destructors that the other threads still use: the process hangs without a
// window instead of ending. These handlers never call exit():
//   - A lost connection (the X server ended, the connection broke) ends the process at once with
//     status 1 and one line on standard error.
//   - An error about a window, drawable or match that no longer holds (a window that vanished
//     meanwhile, such as the check window of a window manager that was killed) is harmless: the
//     request simply had no effect, and the caller sees its failure status where it has one.
//   - Any other error during start-up (before the window's event loop runs) is a start-up failure
//     (fail_to_start): status 1 and one line "vostrandelimerix: X error ..." that names it. Later
//     it is reported in that line and the game goes on, since the request that failed changed
//     nothing.
//
// The handlers are process-wide and may be installed before any display is opened.
#pragma once

// Installs both handlers; called before the first X call. The toolkit keeps them (it installs
// none of its own); OpenGL puts its own in place only around a few calls and restores ours.
void install_x_error_handlers();

// Start-up is over: errors that are not harmless are reported from now on, no longer fatal.
void x_errors_after_start_up();
