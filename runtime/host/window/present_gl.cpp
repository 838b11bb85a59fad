#include "runtime/host/window/present_gl.h"

#include <GL/glew.h>
// GLEW comes before any other GL header.
#include <GL/freeglut.h>

#include "runtime/core/error.h"
#include "runtime/host/frame_handover.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_state.h"
#include "runtime/host/start_options.h"
#include "runtime/host/window/desktop.h"
#include "runtime/host/window/hardware_image.h"
#include "runtime/host/window/sharp_scale.h"
#include "runtime/host/window/window.h"
#include "runtime/host/window_follow.h"
#include "runtime/host/window_geometry.h"

namespace {

// Re-entry guard of the display callback (window thread).
bool in_display_callback = false;

// Handle of the hardware image holding the texture of the frame on screen (0 = none), and the
// order of the frame whose pixels it holds (window thread).
int32_t screen_texture = 0;
int64_t screen_texture_order = -1;

// How the window's size follows the frame and the window manager (window thread).
WindowFollower window_follower;

// Clears the window rectangle (x1, y1)-(x2, y2), inclusive, to black. A clear needs no texture
// and no drawing state of its own, which a software renderer would compile at first use.
void clear_on_window(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  glScissor(x1, render_geometry.window_height - 1 - y2, x2 - x1 + 1, y2 - y1 + 1);
  glClear(GL_COLOR_BUFFER_BIT);
}

// Black bars beside (letterbox 1) or above and below (letterbox 2) a square-pixel picture.
void draw_letterbox_bars() {
  const WindowGeometry& g = render_geometry;
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

// Puts a new frame of the same size into the screen texture in place, which costs the driver
// far less than a new texture. Only for a texture made directly at its own size (not padded to
// a power of two, not built with mipmaps); false otherwise.
bool update_screen_texture(const display_frame_struct& frame) {
  hardware_img_struct* texture = hardware_img(screen_texture);
  if (!texture || !texture->texture_handle || texture->source_state_PO2_fixed != 0 ||
      texture->w != frame.w || texture->h != frame.h)
    return false;
  set_render_source(screen_texture);  // binds it, through the state cache
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.w, frame.h, GL_BGRA, GL_UNSIGNED_BYTE, frame.bgra);
  return true;
}

// Draws the frame's texture (updated or made anew when the frame's pixels are not the ones it
// holds) into the scaled rectangle.
void draw_screen_layer(const display_frame_struct& frame) {
  const int64_t order = frame.order.load();
  const bool changed = order != screen_texture_order;
  if (screen_texture && changed && !update_screen_texture(frame)) {
    free_hardware_img(screen_texture, 847001);
    screen_texture = 0;
  }
  if (!screen_texture) screen_texture = new_hardware_img(frame.w, frame.h, frame.bgra, 0);
  if (!screen_texture) {
    alert("Invalid software_screen_hardware_frame!!");
    return;
  }
  hardware_img_struct* texture = hardware_img(screen_texture);
  if (!texture) {
    alert("Invalid software_screen_hardware_frame!");
    return;
  }
  screen_texture_order = order;
  const int32_t use_alpha = displayorder_screen > 1 ? 1 : 0;
  if (render_geometry.prescale > 1 && !use_alpha && draw_sharp(screen_texture, changed)) return;
  hardware_img_put(0, 0, render_geometry.frame_width - 1, render_geometry.frame_height - 1,
                   screen_texture, 0, 0, 0, texture->w - 1, texture->h - 1, use_alpha,
                   render_geometry.smooth);
  hardware_buffer_flush();
}

void draw_frame(const display_frame_struct& frame) {
  const WindowSizes window = window_sizes.load();
  window_follower.follow(frame.w, frame.h, window, desktop_window_controls());

  const PixelSize size = window.now();
  // A window kept at a size the window manager insists on shows the picture as full screen with
  // square pixels would (scaled by the options, letterboxed, centred), not unscaled in a corner.
  int32_t presentation = full_screen.load();
  if (presentation == 0 && window_follower.present_in_given_size(size)) presentation = 2;
  render_geometry =
      compute_environment_2d(size.w, size.h, frame.w, frame.h, presentation,
                             fullscreen_smooth.load(), resize_auto.load(), presentation_options);
  publish_scaled_size(render_geometry);

  set_render_dest(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (displayorder_screen != 0) draw_screen_layer(frame);
  if (render_geometry.letterbox != 0) draw_letterbox_bars();
}

}  // namespace

int present_poll_timeout_ms() {
  // A stale request is dropped here too: the toolkit calls no display callback for a window it
  // cannot see.
  return window_follower.poll_timeout_ms(window_sizes.load().now());
}

void GLUT_DISPLAY_REQUEST() {
  if (in_display_callback) return;
  in_display_callback = true;

  // A window larger than the desktop is being shrunk back (window.cpp); its drawable is not
  // touched until then.
  const PixelSize size = window_sizes.load().now();
  bool is_new = false;
  const int32_t index = window_size_drawable(size.w, size.h) ? pick_frame_to_show(&is_new) : -1;
  // Nothing new to show and nothing else asking for a redraw: the picture on screen stands. This
  // is the common case while the program waits, and what keeps waiting cheap. While the program
  // is paused nothing is shown (the buffers are not swapped): the redraw stays due until the
  // pause ends.
  const bool other = full_screen_set.load() != -1 || window_follower.request_pending(size);
  if (index >= 0 && redraw_due(is_new, other) && !(suspend_program.load() & 1)) {
    draw_frame(display_frame[index]);
    glutSwapBuffers();
    redraw_finished(true);
  }
  in_display_callback = false;
}
