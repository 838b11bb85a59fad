#include "runtime/host/start_options.h"

std::atomic<bool> start_windowed{false};
PresentationOptions presentation_options;
