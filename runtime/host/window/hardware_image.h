// Hardware images: OpenGL textures with their size and how they were made, records of the
// handle list hardware_img_handles, and the cached render state through which they are drawn into
// the window in batches of triangles. Everything here runs on the window thread with the window's
// GL context current.
#pragma once

#include <cstdint>

#include "runtime/host/window_geometry.h"

// A texture with its size and how it was made; a record of hardware_img_handles.
struct hardware_img_struct {
  int32_t w, h;
  int32_t dest_context_handle;  // framebuffer name when used as a render target (0 = none)
  int32_t depthbuffer_handle;
  uint32_t texture_handle;  // 0 until created
  int32_t pending_commands;
  int32_t remove;
  int32_t alpha_disabled;
  int32_t owns_software_pixels;  // the software copy is ours to free
  int32_t valid;
  uint32_t* software_pixel_buffer;  // pixels held until first use (flags bit 0)
  int32_t source_state_PO2_fixed;   // 0 made directly, 1 padded to power-of-two size, 2 mipmaps
  int32_t PO2_w, PO2_h;             // padded size when padded
  int32_t smooth_shrinking, smooth_stretching;  // current filters (-1 unknown)
  int32_t texture_wrap;                         // current wrap mode (-1 unknown)
};

// Makes a hardware image of w x h pixels 0xAARRGGBB. flags bit 0: keep the pixels and make the
// texture at first use; bit 1 with it: keep a copy of them. Returns its handle.
int32_t new_hardware_img(int32_t width, int32_t height, uint32_t* pixels, int32_t flags);
// Deletes the texture and framebuffer, frees the software copy and removes the handle.
void free_hardware_img(int32_t handle, int32_t caller_code);
// Queues a textured rectangle: source rectangle (sx1, sy1)-(sx2, sy2) of src_handle onto the
// frame rectangle (dx1, dy1)-(dx2, dy2) of dst_handle (0 = the window).
void hardware_img_put(int32_t dx1, int32_t dy1, int32_t dx2, int32_t dy2, int32_t src_handle,
                      int32_t dst_handle, int32_t sx1, int32_t sy1, int32_t sx2, int32_t sy2,
                      int32_t use_alpha, int32_t smooth);
// Draws the queued triangles and empties the queue.
void hardware_buffer_flush();

// Render-state changes, each applied only when it differs from the current state.
void set_render_dest(int32_t handle);  // 0 = the window
// 1 = the 2-D view of the window; 0 = forget the view (set up again before the next drawing),
// which the reshape callback calls after every window resize.
void set_view(int32_t mode);
void set_smooth(int32_t shrink_mode, int32_t stretch_mode);
void set_alpha(int32_t mode);
void set_depthbuffer(int32_t mode);
void set_cull_mode(int32_t mode);
void set_texture_wrap(int32_t mode);
void set_render_source(int32_t handle);  // -1 = none

// Forces every texture through the power-of-two padding (tests of that path).
extern int32_t hardware_img_force_PO2_fix;

// Where the frame goes in the window during the current redraw: set by the display callback
// before it draws, read by everything that draws during it.
extern WindowGeometry render_geometry;

// The record of a hardware image handle, or null.
hardware_img_struct* hardware_img(int32_t handle);
// A new record for a width x height image with no texture yet; its handle, or 0 when the list
// cannot grow.
int32_t new_hardware_img_record(int32_t width, int32_t height, hardware_img_struct** record);
// Empties OpenGL's error flags, so that the next glGetError speaks of the next call only.
void clear_gl_errors();
// The texture binding or the 2-D view was changed behind the render-state cache: it sets them up
// again before the next drawing.
void forget_render_source();
void forget_render_view();
