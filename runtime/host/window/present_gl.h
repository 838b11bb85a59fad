// The window thread's side of presentation: uploads the newest prepared frame and draws it.
#pragma once

// freeglut display callback.
void GLUT_DISPLAY_REQUEST();
