#include "runtime/host/window/present_gl.h"

#include <GL/glew.h>
// GLEW comes before any other GL header.
#include <GL/freeglut.h>
#include <GL/glu.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/host/frame_handover.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_state.h"
#include "runtime/host/lists.h"
#include "runtime/host/presentation.h"
#include "runtime/host/start_options.h"
#include "runtime/host/texture_padding.h"
#include "runtime/host/window/desktop.h"
#include "runtime/host/window/window.h"
#include "runtime/host/window_geometry.h"

static_assert(sizeof(hardware_img_struct) <= 72, "hardware image records are 72 bytes");

int32_t software_screen_hardware_frame = 0;
int32_t in_GLUT_DISPLAY_REQUEST = 0;
int32_t hardware_img_force_PO2_fix = 0;

namespace {

// Set by present_request_redraw on any thread; taken by the display callback.
std::atomic<int32_t> redraw_requested{0};

// Where the frame goes in the window: computed once per redraw by the display callback, read by
// everything that draws during it (window thread).
WindowGeometry geometry;

// What the GL state currently is, so that it is changed only when it differs. -1 = not set.
struct RenderState {
  int32_t dest = -1;
  int32_t source = -1;
  int32_t view_mode = 0;
  int32_t view_width = -1, view_height = -1;  // window size the 2-D view was set up for
  int32_t use_alpha = -1;
  int32_t depthbuffer_mode = -1;
  int32_t cull_mode = -1;
};
RenderState render_state;

// Queued triangles: two floats per vertex, and two per texture coordinate.
std::vector<float> vertices;
std::vector<float> texcoords;

hardware_img_struct* hardware_img(int32_t handle) {
  if (handle <= 0 || !hardware_img_handles) return nullptr;
  return static_cast<hardware_img_struct*>(list_get(hardware_img_handles, handle));
}

void clear_gl_errors() {
  while (glGetError() != GL_NO_ERROR) {
  }
}

// Uploads pixels at the next power-of-two size (see texture_padding.h). No memory for the
// padded copy is a failed upload like any other: the caller goes on to the next way.
bool upload_padded(hardware_img_struct* im, const uint32_t* pixels) {
  std::optional<PaddedPixels> padded = pad_to_power_of_two(pixels, im->w, im->h);
  if (!padded) return false;
  clear_gl_errors();
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, padded->width, padded->height, 0, GL_BGRA,
               GL_UNSIGNED_BYTE, padded->pixels.get());
  if (glGetError() != GL_NO_ERROR) return false;
  im->source_state_PO2_fixed = 1;
  im->PO2_w = padded->width;
  im->PO2_h = padded->height;
  return true;
}

// Makes the texture of a hardware image from its pixels: directly, else padded to a power-of-two
// size, else through mipmap building.
void make_texture(hardware_img_struct* im, const uint32_t* pixels) {
  GLuint name = 0;
  glGenTextures(1, &name);
  im->texture_handle = name;
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  clear_gl_errors();
  bool made = false;
  if (!hardware_img_force_PO2_fix) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, im->w, im->h, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    made = glGetError() == GL_NO_ERROR;
  }
  if (!made) made = upload_padded(im, pixels);
  if (!made) {
    clear_gl_errors();
    GLint status =
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, im->w, im->h, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    if (status != 0) {
      alert("gluBuild2DMipmaps failed");
      alert(std::to_string(status).c_str());
    } else {
      im->source_state_PO2_fixed = 2;
    }
  }
  // A texture without mipmaps is only complete once its minification filter needs none.
  GLint filter = im->source_state_PO2_fixed == 2 ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  im->smooth_shrinking = im->smooth_stretching = -1;
  im->texture_wrap = -1;
}

// The texture of a hardware image, made now if it was deferred.
void ensure_texture(hardware_img_struct* im) {
  if (im->texture_handle || !im->software_pixel_buffer) return;
  make_texture(im, im->software_pixel_buffer);
  if (im->owns_software_pixels) std::free(im->software_pixel_buffer);
  im->software_pixel_buffer = nullptr;
}

// Queues the window rectangle (x1, y1)-(x2, y2), inclusive, with texture coordinates.
void queue_rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float u1, float v1, float u2,
                     float v2) {
  const float l = static_cast<float>(x1), t = static_cast<float>(y1);
  const float r = static_cast<float>(x2 + 1), b = static_cast<float>(y2 + 1);
  const float quad[12] = {l, t, r, t, l, b, l, b, r, t, r, b};
  const float tex[12] = {u1, v1, u2, v1, u1, v2, u1, v2, u2, v1, u2, v2};
  if (vertices.capacity() < vertices.size() + 12) {
    vertices.reserve(vertices.capacity() * 2 + 12);
    texcoords.reserve(texcoords.capacity() * 2 + 12);
  }
  vertices.insert(vertices.end(), quad, quad + 12);
  texcoords.insert(texcoords.end(), tex, tex + 12);
}

// Clears the window rectangle (x1, y1)-(x2, y2), inclusive, to black. A clear needs no texture
// and no drawing state of its own, which a software renderer would compile at first use.
void clear_on_window(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  glScissor(x1, geometry.window_height - 1 - y2, x2 - x1 + 1, y2 - y1 + 1);
  glClear(GL_COLOR_BUFFER_BIT);
}

// Black bars beside (letterbox 1) or above and below (letterbox 2) a square-pixel picture.
void draw_letterbox_bars() {
  const WindowGeometry& g = geometry;
  const int32_t ww = g.window_width, wh = g.window_height;
  hardware_buffer_flush();
  glEnable(GL_SCISSOR_TEST);
  if (g.letterbox == 1) {
    if (g.x1 > 0) clear_on_window(0, 0, g.x1 - 1, wh - 1);
    if (g.x2 < ww - 1) clear_on_window(g.x2 + 1, 0, ww - 1, wh - 1);
  } else if (g.letterbox == 2) {
    if (g.y1 > 0) clear_on_window(0, 0, ww - 1, g.y1 - 1);
    if (g.y2 < wh - 1) clear_on_window(0, g.y2 + 1, ww - 1, wh - 1);
  } else if (g.letterbox == 3) {
    // Borders all round: full-height bars beside, and bars above and below between them.
    if (g.x1 > 0) clear_on_window(0, 0, g.x1 - 1, wh - 1);
    if (g.x2 < ww - 1) clear_on_window(g.x2 + 1, 0, ww - 1, wh - 1);
    if (g.y1 > 0) clear_on_window(g.x1, 0, g.x2, g.y1 - 1);
    if (g.y2 < wh - 1) clear_on_window(g.x1, g.y2 + 1, g.x2, wh - 1);
  }
  glDisable(GL_SCISSOR_TEST);
}

// The window size last asked of the toolkit (a size, or full screen), and when; window thread
// only. While resize_pending is set, no full-screen request is applied, so one change of size
// finishes before the next begins: the toolkit carries some of them out later than others, and
// overlapping changes could leave a window that is not full screen while the runtime believes it
// is. A request counts as answered once the window shows the size asked for. An answer may also
// never come (the window manager chose another size, or the window had that size already), so
// after resize_answer_timeout the request is dropped all the same: presentation changes always
// keep working, even after a burst of Alt+Enter.
struct ResizeRequest {
  int32_t width = 0, height = 0;
  std::chrono::steady_clock::time_point asked;
};
ResizeRequest resize_request;
constexpr auto resize_answer_timeout = std::chrono::milliseconds(500);

void ask_for_window_size(int32_t width, int32_t height) {
  resize_pending.store(1);
  resize_request = {width, height, std::chrono::steady_clock::now()};
  glutReshapeWindow(width, height);
  glutPostRedisplay();
  toolkit_work_posted();
}

// Full screen as the window manager was last asked for it (window thread). Once no request of
// the game's is under way, a window manager whose full-screen state differs made the change
// itself, and the presentation follows it.
bool window_manager_asked_full_screen = false;

// What the windowed window's size bookkeeping remembers between redraws.
WindowSizeMemory window_size_memory;

void ask_for_full_screen(bool on) {
  window_manager_asked_full_screen = on;
  desktop_request_full_screen(on);
  if (!on) return;
  resize_pending.store(1);
  resize_request = {desktop_width.load(), desktop_height.load(), std::chrono::steady_clock::now()};
}

// The window manager's own full-screen changes since the last redraw: the presentation follows
// them.
void follow_window_manager() {
  // While a request is under way the window manager's state may still be the one before it.
  if (resize_pending.load() != 0) return;
  if (std::optional<WindowManagerState> state = desktop_take_window_manager_state()) {
    if (state->full_screen != window_manager_asked_full_screen) {
      window_manager_asked_full_screen = state->full_screen;
      presentation_follows_window_manager(state->full_screen);
    }
  }
}

// How long the event loop may sleep before a stale request must be dropped: only while a
// request is pending (a full-screen request, or the window manager's state, may wait behind it).
int stale_resize_check_ms() {
  if (resize_pending.load() == 0) return -1;
  const auto left = resize_request.asked + resize_answer_timeout - std::chrono::steady_clock::now();
  return static_cast<int>(
      std::max<int64_t>(1, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

void forget_answered_or_stale_resize_request() {
  if (resize_pending.load() == 0) return;
  const bool shown =
      display_x.load() == resize_request.width && display_y.load() == resize_request.height;
  if (shown || std::chrono::steady_clock::now() - resize_request.asked >= resize_answer_timeout)
    resize_pending.store(0);
}

// The windowed window's size for a frame: the frame's, or as the window scale and aspect
// options make it within the screen's work area.
WindowSize wanted_window_size(const display_frame_struct& frame) {
  const WindowBox area = desktop_work_area();
  return windowed_size(frame.w, frame.h, presentation_options, area.w, area.h);
}

// Keeps the windowed window's size in step with the frame (snap-back, aspect), and applies a
// pending full-screen request.
void follow_window_size_and_full_screen(const display_frame_struct& frame) {
  forget_answered_or_stale_resize_request();
  follow_window_manager();
  if (full_screen.load() == 0 && full_screen_set.load() == -1) {
    WindowSizeInput in;
    in.frame_w = frame.w;
    in.frame_h = frame.h;
    const WindowSize wanted = wanted_window_size(frame);
    in.wanted_w = wanted.w;
    in.wanted_h = wanted.h;
    in.window_w = display_x.load();
    in.window_h = display_y.load();
    in.window_prev_w = display_x_prev.load();
    in.window_prev_h = display_y_prev.load();
    in.snapback = resize_snapback.load();
    in.auto_scale = resize_auto.load();
    WindowSizeAction action = decide_window_size(in, window_size_memory);
    if (action.reshape) {
      // A maximized window keeps its size whatever it asks for: the snap-back drops the state.
      if (in.snapback) desktop_leave_maximized();
      ask_for_window_size(action.w, action.h);
    }
  }

  // A window manager ignores full-screen requests for a window it does not manage yet.
  int32_t request = full_screen_set.load();
  if (resize_pending.load() == 0 && request != -1 && desktop_window_mapped()) {
    if (request != 0) {
      if (full_screen.load() == 0) ask_for_full_screen(true);
      full_screen.store(request);
    } else if (full_screen.load() != 0) {
      ask_for_full_screen(false);
      const WindowSize wanted = wanted_window_size(frame);
      ask_for_window_size(wanted.w, wanted.h);
      full_screen.store(0);
    }
    // A request that arrived meanwhile stays pending for the next redraw.
    full_screen_set.compare_exchange_strong(request, -1);
  }
}

// Puts a new frame of the same size into the screen texture in place, which costs the driver
// far less than a new texture. Only for a texture made directly at its own size (not padded to
// a power of two, not built with mipmaps); false otherwise.
bool update_screen_texture(const display_frame_struct& frame) {
  hardware_img_struct* texture = hardware_img(software_screen_hardware_frame);
  if (!texture || !texture->texture_handle || texture->source_state_PO2_fixed != 0 ||
      texture->w != frame.w || texture->h != frame.h)
    return false;
  set_render_source(software_screen_hardware_frame);  // binds it, through the state cache
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.w, frame.h, GL_BGRA, GL_UNSIGNED_BYTE, frame.bgra);
  return true;
}

// The sharp scaling's whole-multiple enlargement of the frame: a texture the frame is drawn into
// unsmoothed, through a framebuffer object, whenever the frame or the multiple changes.
struct Prescaled {
  int32_t image = 0;  // hardware image handle: the texture, with its framebuffer
  bool current = false;
};
Prescaled prescaled;

// A new record in the hardware image list for a width x height image, with no texture yet;
// its handle, or 0 when the list cannot grow.
int32_t new_hardware_img_record(int32_t width, int32_t height, hardware_img_struct** record) {
  const int32_t handle = static_cast<int32_t>(list_add(hardware_img_handles));
  hardware_img_struct* im = hardware_img(handle);
  if (!im) return 0;
  im->w = width;
  im->h = height;
  im->valid = 1;
  im->smooth_shrinking = im->smooth_stretching = im->texture_wrap = -1;
  *record = im;
  return handle;
}

// A hardware image to draw into: an empty texture of width x height and a framebuffer object
// around it; 0 when the driver has no framebuffer objects or cannot make them that large.
int32_t new_render_target(int32_t width, int32_t height) {
  if (!framebufferobjects_supported || !hardware_img_handles) return 0;
  hardware_img_struct* im = nullptr;
  const int32_t handle = new_hardware_img_record(width, height, &im);
  if (!handle) return 0;
  GLuint texture = 0, framebuffer = 0;
  glGenTextures(1, &texture);
  im->texture_handle = texture;
  glBindTexture(GL_TEXTURE_2D, texture);
  clear_gl_errors();
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  bool made = glGetError() == GL_NO_ERROR;
  if (made) {
    glGenFramebuffersEXT(1, &framebuffer);
    im->dest_context_handle = static_cast<int32_t>(framebuffer);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture,
                              0);
    made = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  }
  render_state.source = -1;  // the texture binding changed behind the cache
  if (!made) {
    free_hardware_img(handle, 0);
    return 0;
  }
  return handle;
}

// Draws the whole of the frame's texture, unsmoothed, over the whole of the prescaled target.
void enlarge_frame(hardware_img_struct* frame_texture, hardware_img_struct* target) {
  hardware_buffer_flush();
  set_render_source(software_screen_hardware_frame);
  set_smooth(0, 0);
  set_texture_wrap(0);
  set_alpha(0);
  set_depthbuffer(0);
  set_cull_mode(0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(target->dest_context_handle));
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glViewport(0, 0, target->w, target->h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, target->w, 0, target->h, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // Row 0 of the frame goes to row 0 of the target, as in the frame's own texture.
  const bool padded = frame_texture->source_state_PO2_fixed == 1;
  const float u = padded ? static_cast<float>(frame_texture->w) / frame_texture->PO2_w : 1.0f;
  const float v = padded ? static_cast<float>(frame_texture->h) / frame_texture->PO2_h : 1.0f;
  const float w = static_cast<float>(target->w), h = static_cast<float>(target->h);
  const float quad[12] = {0, 0, w, 0, 0, h, 0, h, w, 0, w, h};
  const float tex[12] = {0, 0, u, 0, 0, v, 0, v, u, 0, u, v};
  glVertexPointer(2, GL_FLOAT, 8, quad);
  glTexCoordPointer(2, GL_FLOAT, 8, tex);
  glDrawArrays(GL_TRIANGLES, 0, 6);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  render_state.view_mode = 0;  // the window's 2-D view is set up again for the next drawing
}

// Sharp scaling in one step, where the driver runs fragment programs: every window pixel samples
// the frame, smoothed, exactly where the smooth step over the whole-multiple enlargement would
// sample that enlargement. Two neighbouring texels of the enlargement show one frame pixel
// except across the edge between two frame pixels, so the frame's own texture serves, and the
// enlargement is never drawn (a whole pass less for every new frame). Which frame pixel an
// enlarged texel i shows is taken from (i + 0.5) / multiple, which lies at least half a texel
// from a whole number, so that the rounding of 1 / multiple cannot move it across one.
// Written as an assembly fragment program: the driver translates it directly, without starting
// a shading-language compiler (which on the software renderer added about 40 ms to the start).
//   local 0: the frame's texture enlarged (x, y), 1 / multiple (z)    local 1: 1 / texture size
constexpr char sharp_fragment_program[] = R"(!!ARBfp1.0
PARAM enlarged = program.local[0];
PARAM texel_size = program.local[1];
PARAM half = {0.5, 0.5, 0.5, 0.5};
PARAM one_and_half = {1.5, 1.5, 1.5, 1.5};
TEMP at, first, from, to, step;
MUL at, fragment.texcoord[0], enlarged;
SUB at, at, half;
FLR first, at;
ADD step, first, half;
MUL step, step, enlarged.z;
FLR from, step;
ADD step, first, one_and_half;
MUL step, step, enlarged.z;
FLR to, step;
SUB to, to, from;
SUB at, at, first;
MAD step, to, at, from;
ADD step, step, half;
MUL step, step, texel_size;
TEX result.color, step, texture[0], 2D;
END
)";

struct SharpProgram {
  bool tried = false;
  GLuint program = 0;  // 0: not available (no fragment programs, or this one was refused)
};
SharpProgram sharp_program;

GLuint loaded_sharp_program() {
  if (!GLEW_ARB_fragment_program) return 0;
  GLuint program = 0;
  glGenProgramsARB(1, &program);
  glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, program);
  clear_gl_errors();
  glProgramStringARB(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                     static_cast<GLsizei>(sizeof sharp_fragment_program - 1),
                     sharp_fragment_program);
  GLint error_at = -1;
  glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &error_at);
  const bool loaded = glGetError() == GL_NO_ERROR && error_at == -1;
  glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, 0);
  if (!loaded) {
    glDeleteProgramsARB(1, &program);
    program = 0;
  }
  clear_gl_errors();
  return program;
}

bool draw_sharp_in_one_step(hardware_img_struct* frame_texture) {
  if (!sharp_program.tried) {
    sharp_program.tried = true;
    sharp_program.program = loaded_sharp_program();
  }
  if (!sharp_program.program) return false;
  hardware_buffer_flush();
  glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, sharp_program.program);
  glEnable(GL_FRAGMENT_PROGRAM_ARB);
  // Products instead of quotients: a division costs the software renderer several times more.
  const bool padded = frame_texture->source_state_PO2_fixed == 1;
  const float width = static_cast<float>(padded ? frame_texture->PO2_w : frame_texture->w);
  const float height = static_cast<float>(padded ? frame_texture->PO2_h : frame_texture->h);
  const float multiple = static_cast<float>(geometry.prescale);
  glProgramLocalParameter4fARB(GL_FRAGMENT_PROGRAM_ARB, 0, width * multiple, height * multiple,
                               1.0f / multiple, 0.0f);
  glProgramLocalParameter4fARB(GL_FRAGMENT_PROGRAM_ARB, 1, 1.0f / width, 1.0f / height, 0.0f, 0.0f);
  hardware_img_put(0, 0, geometry.frame_width - 1, geometry.frame_height - 1,
                   software_screen_hardware_frame, 0, 0, 0, frame_texture->w - 1,
                   frame_texture->h - 1, 0, 1);
  hardware_buffer_flush();
  glDisable(GL_FRAGMENT_PROGRAM_ARB);
  return true;
}

// Sharp scaling without fragment programs: the frame enlarged geometry.prescale times into a
// texture (again only when the frame or the multiple changed), which is then drawn smoothed into
// the scaled rectangle. False when no such texture can be made; the frame is then drawn smoothed
// directly.
bool draw_prescaled(hardware_img_struct* frame_texture, bool is_new) {
  const int32_t width = frame_texture->w * geometry.prescale;
  const int32_t height = frame_texture->h * geometry.prescale;
  hardware_img_struct* target = hardware_img(prescaled.image);
  if (target && (target->w != width || target->h != height)) {
    free_hardware_img(prescaled.image, 0);
    prescaled = {};
    target = nullptr;
  }
  if (!target) {
    prescaled.image = new_render_target(width, height);
    target = hardware_img(prescaled.image);
    if (!target) return false;
  }
  if (is_new || !prescaled.current) {
    enlarge_frame(frame_texture, target);
    prescaled.current = true;
  }
  hardware_img_put(0, 0, geometry.frame_width - 1, geometry.frame_height - 1, prescaled.image, 0, 0,
                   0, width - 1, height - 1, 0, 1);
  hardware_buffer_flush();
  return true;
}

// Draws the frame's texture (updated or made anew when the frame is new) into the scaled
// rectangle.
void draw_screen_layer(const display_frame_struct& frame, bool is_new) {
  if (software_screen_hardware_frame && is_new && !update_screen_texture(frame)) {
    free_hardware_img(software_screen_hardware_frame, 847001);
    software_screen_hardware_frame = 0;
  }
  if (!software_screen_hardware_frame)
    software_screen_hardware_frame = new_hardware_img(frame.w, frame.h, frame.bgra, 0);
  if (!software_screen_hardware_frame) {
    alert("Invalid software_screen_hardware_frame!!");
    return;
  }
  hardware_img_struct* texture = hardware_img(software_screen_hardware_frame);
  if (!texture) {
    alert("Invalid software_screen_hardware_frame!");
    return;
  }
  int32_t use_alpha = displayorder_screen > 1 ? 1 : 0;
  if (is_new) prescaled.current = false;
  if (geometry.prescale > 1 && !use_alpha &&
      (draw_sharp_in_one_step(texture) || draw_prescaled(texture, is_new)))
    return;
  hardware_img_put(0, 0, geometry.frame_width - 1, geometry.frame_height - 1,
                   software_screen_hardware_frame, 0, 0, 0, texture->w - 1, texture->h - 1,
                   use_alpha, geometry.smooth);
  hardware_buffer_flush();
}

}  // namespace

void present_request_redraw() { redraw_requested.store(1); }

int present_poll_timeout_ms() {
  // Dropped here too: the toolkit calls no display callback for a window it cannot see.
  forget_answered_or_stale_resize_request();
  return stale_resize_check_ms();
}

void GLUT_DISPLAY_REQUEST() {
  if (in_GLUT_DISPLAY_REQUEST) return;
  in_GLUT_DISPLAY_REQUEST = 1;

  // A window larger than the desktop is being shrunk back (window.cpp); its drawable is not
  // touched until then.
  if (!window_size_drawable(display_x.load(), display_y.load())) {
    in_GLUT_DISPLAY_REQUEST = 0;
    return;
  }

  bool is_new = false;
  int32_t index = pick_frame_to_show(&is_new);
  if (index < 0) {
    in_GLUT_DISPLAY_REQUEST = 0;
    return;
  }
  // Nothing new to show and nothing else asking for a redraw: the picture on screen stands.
  // This is the common case while the program waits, and what keeps waiting cheap.
  if (!is_new &&
      last_rendered_hardware_display_frame_order == last_hardware_display_frame_order.load() &&
      full_screen_set.load() == -1 && os_resize_event.load() == 0 && redraw_requested.load() == 0 &&
      resize_pending.load() == 0) {
    in_GLUT_DISPLAY_REQUEST = 0;
    return;
  }
  redraw_requested.store(0);

  const display_frame_struct& frame = display_frame[index];
  os_resize_event.store(0);

  follow_window_size_and_full_screen(frame);

  geometry = compute_environment_2d(display_x.load(), display_y.load(), frame.w, frame.h,
                                    full_screen.load(), fullscreen_smooth.load(),
                                    resize_auto.load(), presentation_options);
  environment_2d__screen_scaled_width.store(geometry.scaled_width);
  environment_2d__screen_scaled_height.store(geometry.scaled_height);

  for (int32_t layer = 0; layer <= 5; ++layer) {
    if (layer == 0) {
      set_render_dest(0);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    if (layer == displayorder_screen) draw_screen_layer(frame, is_new);
    // The hardware layers (displayorder_hardware, displayorder_hardware1) carry no commands in
    // this program.
    if (layer == 5 && geometry.letterbox != 0) draw_letterbox_bars();
  }

  last_rendered_hardware_display_frame_order = last_hardware_display_frame_order.load();
  if (!(suspend_program.load() & 1)) glutSwapBuffers();
  in_GLUT_DISPLAY_REQUEST = 0;
}

int32_t new_hardware_img(int32_t width, int32_t height, uint32_t* pixels, int32_t flags) {
  if (!hardware_img_handles || width <= 0 || height <= 0) return 0;
  hardware_img_struct* im = nullptr;
  const int32_t handle = new_hardware_img_record(width, height, &im);
  if (!handle) return 0;
  if (flags & 1) {
    // Deferred: the texture is made at first use from the caller's pixels or a copy of them.
    if (flags & 2) {
      size_t bytes = static_cast<size_t>(width) * height * 4;
      im->software_pixel_buffer = static_cast<uint32_t*>(std::malloc(bytes));
      if (im->software_pixel_buffer) std::memcpy(im->software_pixel_buffer, pixels, bytes);
      im->owns_software_pixels = 1;
    } else {
      im->software_pixel_buffer = pixels;
    }
  } else {
    make_texture(im, pixels);
  }
  set_render_source(-1);
  return handle;
}

void free_hardware_img(int32_t handle, int32_t /*caller_code*/) {
  hardware_img_struct* im = hardware_img(handle);
  if (!im) {
    alert("free_hardware_img: image does not exist");
    return;
  }
  hardware_buffer_flush();
  if (im->dest_context_handle) {
    GLuint fbo = static_cast<GLuint>(im->dest_context_handle);
    if (glDeleteFramebuffersEXT) glDeleteFramebuffersEXT(1, &fbo);
  }
  if (im->texture_handle) {
    GLuint name = im->texture_handle;
    glDeleteTextures(1, &name);
  }
  if (im->owns_software_pixels) std::free(im->software_pixel_buffer);
  if (render_state.source == handle) render_state.source = -1;
  if (render_state.dest == handle) render_state.dest = -1;
  list_remove(hardware_img_handles, handle);
}

void hardware_img_put(int32_t dx1, int32_t dy1, int32_t dx2, int32_t dy2, int32_t src_handle,
                      int32_t dst_handle, int32_t sx1, int32_t sy1, int32_t sx2, int32_t sy2,
                      int32_t use_alpha, int32_t smooth) {
  hardware_img_struct* src = hardware_img(src_handle);
  if (!src || dst_handle != 0) return;  // only the window is a destination here
  if (dx1 > dx2) {
    std::swap(dx1, dx2);
    std::swap(sx1, sx2);
  }
  if (dy1 > dy2) {
    std::swap(dy1, dy2);
    std::swap(sy1, sy2);
  }
  ensure_texture(src);
  set_render_dest(0);
  set_view(1);
  set_render_source(src_handle);

  WindowRect r = environment_2d__screen_to_window_rect(geometry, dx1, dy1, dx2, dy2);
  set_smooth(smooth, smooth);
  set_alpha(use_alpha);
  set_depthbuffer(0);
  set_cull_mode(0);
  set_texture_wrap(0);

  const float tw = static_cast<float>(src->source_state_PO2_fixed == 1 ? src->PO2_w : src->w);
  const float th = static_cast<float>(src->source_state_PO2_fixed == 1 ? src->PO2_h : src->h);
  // Texture coordinates stay just inside the outer texels, at the near edge of the first and the
  // far edge of the last; a mirrored source has them the other way round.
  auto span = [](int32_t a, int32_t b, float size, float* from, float* to) {
    if (a <= b) {
      *from = (static_cast<float>(a) + 0.01f) / size;
      *to = (static_cast<float>(b) + 0.99f) / size;
    } else {
      *from = (static_cast<float>(a) + 0.99f) / size;
      *to = (static_cast<float>(b) + 0.01f) / size;
    }
  };
  float u1, u2, v1, v2;
  span(sx1, sx2, tw, &u1, &u2);
  span(sy1, sy2, th, &v1, &v2);
  queue_rectangle(r.left, r.top, r.right, r.bottom, u1, v1, u2, v2);
}

void hardware_buffer_flush() {
  if (vertices.empty()) return;
  glVertexPointer(2, GL_FLOAT, 8, vertices.data());
  glTexCoordPointer(2, GL_FLOAT, 8, texcoords.data());
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size() / 2));
  vertices.clear();
  texcoords.clear();
}

void set_render_dest(int32_t handle) {
  if (render_state.dest == handle) return;
  hardware_buffer_flush();
  // Only the window is drawn into in this program; another destination would bind its
  // framebuffer here.
  render_state.dest = handle;
  render_state.view_mode = 0;
}

void set_view(int32_t mode) {
  const int32_t ww = geometry.window_width, wh = geometry.window_height;
  if (mode == 0) {
    render_state.view_mode = 0;
    return;
  }
  if (render_state.view_mode == mode && render_state.view_width == ww &&
      render_state.view_height == wh)
    return;
  hardware_buffer_flush();
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, ww, 0, wh, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // (0, 0) is the window's top-left pixel and y grows downward.
  glScalef(1.0f, -1.0f, 1.0f);
  glTranslatef(0.0f, static_cast<float>(-wh), 0.0f);
  glViewport(0, 0, ww, wh);
  render_state.view_mode = mode;
  render_state.view_width = ww;
  render_state.view_height = wh;
}

void set_smooth(int32_t shrink_mode, int32_t stretch_mode) {
  hardware_img_struct* im = hardware_img(render_state.source);
  if (!im || !im->texture_handle) return;
  if (im->smooth_shrinking == shrink_mode && im->smooth_stretching == stretch_mode) return;
  hardware_buffer_flush();
  // Mipmapped textures are always filtered linearly.
  bool mipmaps = im->source_state_PO2_fixed == 2;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  shrink_mode || mipmaps ? GL_LINEAR : GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                  stretch_mode || mipmaps ? GL_LINEAR : GL_NEAREST);
  im->smooth_shrinking = shrink_mode;
  im->smooth_stretching = stretch_mode;
}

void set_alpha(int32_t mode) {
  if (render_state.use_alpha == mode) return;
  hardware_buffer_flush();
  if (mode) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  render_state.use_alpha = mode;
}

void set_depthbuffer(int32_t mode) {
  if (render_state.depthbuffer_mode == mode) return;
  hardware_buffer_flush();
  if (mode)
    glEnable(GL_DEPTH_TEST);
  else
    glDisable(GL_DEPTH_TEST);
  render_state.depthbuffer_mode = mode;
}

void set_cull_mode(int32_t mode) {
  if (render_state.cull_mode == mode) return;
  hardware_buffer_flush();
  if (mode)
    glEnable(GL_CULL_FACE);
  else
    glDisable(GL_CULL_FACE);
  render_state.cull_mode = mode;
}

void set_texture_wrap(int32_t mode) {
  hardware_img_struct* im = hardware_img(render_state.source);
  if (!im || !im->texture_handle || im->texture_wrap == mode) return;
  hardware_buffer_flush();
  GLint wrap = mode ? GL_REPEAT : GL_CLAMP_TO_EDGE;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  im->texture_wrap = mode;
}

void set_render_source(int32_t handle) {
  if (render_state.source == handle && handle != -1) return;
  hardware_buffer_flush();
  if (handle == -1) {
    render_state.source = -1;
    return;
  }
  hardware_img_struct* im = hardware_img(handle);
  if (!im) return;
  ensure_texture(im);
  glBindTexture(GL_TEXTURE_2D, im->texture_handle);
  render_state.source = handle;
}
