// Pieces of process start-up that tests reach directly (runtime_init itself is in runtime.h).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The arguments after the program name joined by single spaces ("" without arguments).
std::string join_command_line(int argc, char** argv);
// Directory of the running executable, read from /proc/self/exe ("" when unreadable).
std::string executable_directory();
// Local time of day of when, plus milliseconds, in milliseconds since midnight (0 when when is
// -1 or has no local time).
int64_t local_ms_since_midnight(time_t when, int32_t milliseconds = 0);
