// The wait of the key-polling loops (menu, piece, file and rank prompts, waits after a verdict).
#pragma once

// Called once per pass of a key-polling loop, after its key was read and handled. When no key was
// read, it blocks until the next key press (or a stop request, a pause, a pending error), so that
// a player thinking costs no processor time at all. Keys wait in the ring meanwhile: none is lost
// or reordered, and a key already waiting returns at once.
void pause_while_no_key(bool key_was_read);
