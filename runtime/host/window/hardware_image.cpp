#include "runtime/host/window/hardware_image.h"

#include <GL/glew.h>
// GLEW comes before any other GL header.
#include <GL/glu.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/host/lists.h"
#include "runtime/host/texture_padding.h"

static_assert(sizeof(hardware_img_struct) <= 72, "hardware image records are 72 bytes");

int32_t hardware_img_force_PO2_fix = 0;
WindowGeometry render_geometry;

namespace {

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
}  // namespace

hardware_img_struct* hardware_img(int32_t handle) {
  if (handle <= 0 || !hardware_img_handles) return nullptr;
  return static_cast<hardware_img_struct*>(list_get(hardware_img_handles, handle));
}

void clear_gl_errors() {
  while (glGetError() != GL_NO_ERROR) {
  }
}

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

void forget_render_source() { render_state.source = -1; }
void forget_render_view() { render_state.view_mode = 0; }

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

  WindowRect r = environment_2d__screen_to_window_rect(render_geometry, dx1, dy1, dx2, dy2);
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
  const int32_t ww = render_geometry.window_width, wh = render_geometry.window_height;
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
  // The colour stays OpenGL's initial white: setting it, even to white, has the software
  // renderer make its half-megabyte buffer for immediate-mode drawing.
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
