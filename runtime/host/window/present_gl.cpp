#include "runtime/host/window/present_gl.h"

#include <GL/freeglut.h>

// Until frames are uploaded, the window is cleared to black.
void GLUT_DISPLAY_REQUEST() {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glutSwapBuffers();
}
