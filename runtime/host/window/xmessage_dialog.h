// The X11 desktop's dialogs: each one is an xmessage process.
//
// xmessage runs with an argument vector, never through a shell, so no character of a caption or
// text can run a command:
//   xmessage -center -title CAPTION -buttons Yes:2,No:1 TEXT     (or -buttons OK:1)
// with 25 spaces after TEXT, which widen the window so that the buttons are not squeezed against
// a short message. Exit code 2 is Yes, 1 No (or OK). The dialog dies with the game however the
// game ends, and one that cannot be started is reported on standard error and counts as
// unanswered.
//
// The host owns the dialog on screen: one at a time (a second waits until the first is answered
// or closed), close_open() ends it and from then on no dialog starts, so the shutdown that calls
// it never waits for the player and no dialog is left behind. Only POSIX is used here (no X11 or
// OpenGL), so the library builds, and its tests run, without the window side.
#pragma once

#include "runtime/core/dialog_host.h"

// The host to hand to set_dialog_host().
const DialogHost* xmessage_dialog_host();

// Lets dialogs be shown again after close_open(). A game process never needs it: the shutdown
// ends the process. Tests that run a shutdown and then more tests in the same process do.
void reopen_xmessage_dialogs();
