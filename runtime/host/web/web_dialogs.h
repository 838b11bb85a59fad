// The runtime's dialogs in a page: each is an HTML dialog with the same caption, text and buttons
// as the desktop's, and the thread that shows it waits until the player answers.
#pragma once

#include "runtime/core/dialog_host.h"

const DialogHost* web_dialog_host();
// True while a dialog is on the page (main thread: keys then belong to the dialog).
bool web_dialog_open();
// Main thread, in every turn: puts up a dialog a thread asked for, takes down one closed.
void web_dialogs_turn();
