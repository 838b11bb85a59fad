#include "runtime/core/process_flags.h"

std::atomic<int32_t> autodisplay{1};
std::atomic<double> max_fps{60.0};
int64_t clock_firsttimervalue = 0;
int64_t zorbel_firsttimervalue = 0;
