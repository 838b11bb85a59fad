#include "runtime/host/window/sharp_scale.h"

#include <GL/glew.h>

#include "runtime/host/lists.h"
#include "runtime/host/window/hardware_image.h"
#include "runtime/host/window/window.h"

namespace {

// The sharp scaling's whole-multiple enlargement of the frame: a texture the frame is drawn into
// unsmoothed, through a framebuffer object, whenever the frame or the multiple changes.
struct Prescaled {
  int32_t image = 0;  // hardware image handle: the texture, with its framebuffer
  bool current = false;
};
Prescaled prescaled;

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
  forget_render_source();  // the texture binding changed behind the cache
  if (!made) {
    free_hardware_img(handle, 0);
    return 0;
  }
  return handle;
}

// Draws the whole of the frame's texture, unsmoothed, over the whole of the prescaled target.
void enlarge_frame(int32_t frame_image, hardware_img_struct* frame_texture,
                   hardware_img_struct* target) {
  hardware_buffer_flush();
  set_render_source(frame_image);
  set_smooth(0, 0);
  set_texture_wrap(0);
  set_alpha(0);
  set_depthbuffer(0);
  set_cull_mode(0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(target->dest_context_handle));
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  // The colour stays OpenGL's initial white: setting it, even to white, has the software
  // renderer make its half-megabyte buffer for immediate-mode drawing.
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
  forget_render_view();  // the window's 2-D view is set up again for the next drawing
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

bool draw_sharp_in_one_step(int32_t frame_image, hardware_img_struct* frame_texture) {
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
  const float multiple = static_cast<float>(render_geometry.prescale);
  glProgramLocalParameter4fARB(GL_FRAGMENT_PROGRAM_ARB, 0, width * multiple, height * multiple,
                               1.0f / multiple, 0.0f);
  glProgramLocalParameter4fARB(GL_FRAGMENT_PROGRAM_ARB, 1, 1.0f / width, 1.0f / height, 0.0f, 0.0f);
  hardware_img_put(0, 0, render_geometry.frame_width - 1, render_geometry.frame_height - 1,
                   frame_image, 0, 0, 0, frame_texture->w - 1, frame_texture->h - 1, 0, 1);
  hardware_buffer_flush();
  glDisable(GL_FRAGMENT_PROGRAM_ARB);
  return true;
}

// Sharp scaling without fragment programs: the frame enlarged render_geometry.prescale times into a
// texture (again only when the frame or the multiple changed), which is then drawn smoothed into
// the scaled rectangle. False when no such texture can be made; the frame is then drawn smoothed
// directly.
bool draw_prescaled(int32_t frame_image, hardware_img_struct* frame_texture, bool is_new) {
  const int32_t width = frame_texture->w * render_geometry.prescale;
  const int32_t height = frame_texture->h * render_geometry.prescale;
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
    enlarge_frame(frame_image, frame_texture, target);
    prescaled.current = true;
  }
  hardware_img_put(0, 0, render_geometry.frame_width - 1, render_geometry.frame_height - 1,
                   prescaled.image, 0, 0, 0, width - 1, height - 1, 0, 1);
  hardware_buffer_flush();
  return true;
}

// Draws the frame's texture (updated or made anew when the frame is new) into the scaled
}  // namespace

bool draw_sharp(int32_t frame_image, bool frame_changed) {
  hardware_img_struct* frame_texture = hardware_img(frame_image);
  if (!frame_texture) return false;
  if (frame_changed) prescaled.current = false;
  return draw_sharp_in_one_step(frame_image, frame_texture) ||
         draw_prescaled(frame_image, frame_texture, frame_changed);
}
