// The display callback: picks the newest prepared frame, lets the window's size follow it
// (WindowFollower), uploads it as a texture and draws it scaled into the window. Runs on the
// window thread with the window's GL context current.
#pragma once

// freeglut display callback. Returns at once, drawing nothing, when no redraw is due, which keeps
// an unchanging screen nearly free.
void GLUT_DISPLAY_REQUEST();

// How long the window's event loop may sleep, in ms, before the display callback must run again
// without being asked (a resize request that may never be answered); -1 = as long as it likes.
int present_poll_timeout_ms();
