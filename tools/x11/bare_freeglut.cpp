// bare_freeglut: the least a toolkit program needs to show a 320 x 200 picture full screen; the
// window benchmark (scripts/bench-window.sh) measures its memory beside the game's.
//
//   bare_freeglut
//
// Opens one window titled "bare freeglut" with the game's display mode (double-buffered RGBA with
// a depth buffer), covers the screen from (0, 0) as the game does where no window manager runs,
// uploads one 320 x 200 BGRA texture once and draws it stretched over the window in the display
// callback. It has no idle callback and no timer: it redraws only when the toolkit asks (a resize,
// an uncovered part), so between those it sleeps in the toolkit's event wait, as a waiting game
// does. Escape ends it with status 0. Under a window manager the place and size are only asked
// for; the benchmark runs it on a bare X server, where it gets them.
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr int picture_width = 320;
constexpr int picture_height = 200;

GLuint texture = 0;
int window_width = 0, window_height = 0;
// The software renderer learns a window's new size only at the buffer swap, so the first frame
// after a resize is drawn at the old size: the display callback then draws once more.
bool resized = false;

// Vertical bands of the 16 text-mode colours, at half brightness in the lower half, so that the
// stretched picture is not one flat colour; 0xAARRGGBB words, blue first in memory.
std::vector<uint32_t> make_picture() {
  static constexpr uint32_t colours[16] = {0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA,
                                           0xFFAA0000, 0xFFAA00AA, 0xFFAA5500, 0xFFAAAAAA,
                                           0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF,
                                           0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};
  std::vector<uint32_t> pixels(picture_width * picture_height);
  for (int y = 0; y < picture_height; ++y) {
    for (int x = 0; x < picture_width; ++x) {
      const uint32_t band = colours[x * 16 / picture_width];
      pixels[y * picture_width + x] = y < picture_height / 2 ? band : band & 0xFF7F7F7F;
    }
  }
  return pixels;
}

// Uploads the picture once; the program keeps no copy of its own, only the texture.
void upload_picture() {
  const std::vector<uint32_t> pixels = make_picture();
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, picture_width, picture_height, 0, GL_BGRA,
               GL_UNSIGNED_BYTE, pixels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

// Draws the picture over the whole window: two triangles in window pixels, (0, 0) at the top.
void display() {
  const float w = static_cast<float>(window_width), h = static_cast<float>(window_height);
  const float corners[12] = {0, 0, w, 0, 0, h, 0, h, w, 0, w, h};
  const float texcoords[12] = {0, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 1};
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glVertexPointer(2, GL_FLOAT, 0, corners);
  glTexCoordPointer(2, GL_FLOAT, 0, texcoords);
  glDrawArrays(GL_TRIANGLES, 0, 6);
  glutSwapBuffers();
  if (resized) glutPostRedisplay();
  resized = false;
}

void reshape(int width, int height) {
  window_width = width;
  window_height = height;
  resized = true;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width, height, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glutPostRedisplay();
}

void keyboard(unsigned char key, int, int) {
  if (key == 27) std::exit(0);
}

// Covers the screen from (0, 0) with the client area and raises the window over the others.
void cover_screen() {
  Display* x_display = glXGetCurrentDisplay();
  const Window window = glXGetCurrentDrawable();
  const int screen = DefaultScreen(x_display);
  XMoveResizeWindow(x_display, window, 0, 0, static_cast<unsigned>(DisplayWidth(x_display, screen)),
                    static_cast<unsigned>(DisplayHeight(x_display, screen)));
  XRaiseWindow(x_display, window);
  XFlush(x_display);
}

}  // namespace

int main(int argc, char** argv) {
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(picture_width * 2, picture_height * 2);
  glutCreateWindow("bare freeglut");
  cover_screen();
  upload_picture();
  glutDisplayFunc(display);
  glutReshapeFunc(reshape);
  glutKeyboardFunc(keyboard);
  glutMainLoop();
  return 0;
}
