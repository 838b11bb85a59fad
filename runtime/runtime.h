// Everything the program and the host see of the runtime.
#pragma once

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/number_text.h"
#include "runtime/core/print_using.h"
#include "runtime/core/process_flags.h"
#include "runtime/core/random.h"
#include "runtime/core/strings.h"
#include "runtime/core/timers.h"
#include "runtime/host/frame_handover.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/lists.h"
#include "runtime/host/main_loop.h"
#include "runtime/host/prompts.h"
#include "runtime/host/startup.h"
#include "runtime/host/window_geometry.h"
#include "runtime/host/window_ops.h"
#include "runtime/screen/blend.h"
#include "runtime/screen/circle.h"
#include "runtime/screen/color.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/draw_macro.h"
#include "runtime/screen/font.h"
#include "runtime/screen/font_select.h"
#include "runtime/screen/image.h"
#include "runtime/screen/paint.h"
#include "runtime/screen/palettes.h"
#include "runtime/screen/text.h"

// Prepares the runtime's global state in start-up order (image table and screen mode 0, fonts,
// palettes, clock reference, emulated memory and keyboard ring, handle lists) without starting
// threads or opening a window. main calls it, and so do tests.
void runtime_init(int argc = 0, char** argv = nullptr);
