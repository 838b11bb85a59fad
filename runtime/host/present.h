// Frame preparation: turns the displayed page into 32-bit frames for the window thread.
#pragma once

// Prepares a frame from display_page (main loop thread, or the program thread when automatic
// display is off).
void display();
