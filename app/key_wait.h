// The pause of the key-polling loops (menu, piece, file and rank prompts, waits after a verdict).
#pragma once

// Called once per pass of a key-polling loop, after its key was read and handled. While the
// keyboard ring is empty it sleeps: about a millisecond at first, so typing stays immediate, and
// a few milliseconds once no key has come for a quarter of a second, so that a player thinking
// costs next to no processor time. Keys wait in the ring meanwhile: none is lost or reordered.
void pause_while_no_key(bool key_was_read);
