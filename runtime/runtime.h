// Everything the program and the host see of the runtime.
#pragma once

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"

// Prepares the runtime's global state in start-up order (image table and screen mode 0, fonts,
// palettes, clock reference, emulated memory and keyboard ring, handle lists) without starting
// threads or opening a window. main calls it, and so do tests.
void runtime_init(int argc = 0, char** argv = nullptr);
