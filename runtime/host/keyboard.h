// Keyboard input: key codes, the keyboard ring in emulated memory, held keys and port 0x60.
#pragma once

#include <cstdint>

struct zqs;

// Sets the ring head and tail to 0x1E and the port value to 129 (runtime_init).
void keyboard_init();

void keydown(int32_t code);
void keyup(int32_t code);
// freeglut key callbacks' translation (window thread).
void GLUT_key_ascii(int32_t key, int32_t down);
void GLUT_key_special(int32_t key, int32_t down);
// Next key of the ring as a 0-, 1- or 2-byte temporary string (program thread).
zqs* zqs_inkey();
// Next queued scan code for a read of port 0x60.
int32_t keyboard_port60h_read();
