// Sharp scaling: the frame enlarged by a whole multiple without smoothing, then smoothed once into
// the scaled rectangle (render_geometry.prescale above 1). In one pass where the driver runs
// fragment programs; else through an enlargement drawn into a framebuffer object. Window thread,
// GL context current.
#pragma once

#include <cstdint>

// Draws the frame's texture (hardware image frame_image) sharp-scaled into the scaled rectangle;
// frame_changed when its pixels changed since the last call. False when neither way is available
// (the caller then draws it smoothed directly).
bool draw_sharp(int32_t frame_image, bool frame_changed);
