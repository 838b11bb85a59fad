// What a host provides for the runtime's modal dialogs (error reports, fatal errors, alerts).
//
// The runtime decides what a dialog says, writes it to standard error as one line and turns the
// answer into the result the program sees (runtime/core/error.h); the host only puts the dialog on
// screen and waits for the player. One host is installed for the whole process, early in start-up
// before any thread can show a dialog: the desktop installs xmessage's
// (runtime/host/window/xmessage_dialog.h). Without one, every dialog counts as one that could not
// be shown: a Yes/No report as No, an OK dialog as passed.
//
// A host's contract:
// - show() may be called from any thread, also while another thread's dialog is open; the host
//   shows one dialog at a time and starts the next once the first is answered or closed.
// - close_open() may be called from any thread. It closes the dialog on screen, as if without an
//   answer, and from then on show() starts no dialog and answers unanswered at once, so that the
//   shutdown that calls it never waits for the player and no dialog outlives the game.
#pragma once

enum class DialogButtons { ok, yes_no };

enum class DialogAnswer {
  yes,
  no,
  ok,
  unanswered,  // closed without an answer, or could not be shown
};

struct DialogHost {
  // Shows a modal dialog; blocks the calling thread until the player answers or it is closed.
  DialogAnswer (*show)(const char* caption, const char* text, DialogButtons buttons);
  // Ends the dialog on screen, if any, as if closed without an answer, and refuses later ones.
  void (*close_open)();
};

// Installs the process's dialog host; nullptr = none. Call before other threads start.
void set_dialog_host(const DialogHost* host);
