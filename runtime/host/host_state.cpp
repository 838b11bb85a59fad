#include "runtime/host/host_state.h"

std::atomic<int32_t> exit_value{0};
std::atomic<int32_t> exit_blocked{0};
std::atomic<int32_t> window_exists{0};
std::atomic<int32_t> screen_hide{0};
std::atomic<int32_t> window_focused{0};
std::atomic<int32_t> display_called{0};
std::atomic<uint32_t> frame{0};
std::atomic<int32_t> full_screen{0};
std::atomic<int32_t> full_screen_set{-1};
std::atomic<int32_t> fullscreen_smooth{0};
std::atomic<int32_t> force_display_update{0};
std::atomic<int32_t> fullscreen_allowedmode{0};
std::atomic<int32_t> fullscreen_allowedsmooth{0};
std::atomic<WindowSizes> window_sizes{};
std::atomic<ResizeNotice> resize_event{};
static_assert(std::atomic<WindowSizes>::is_always_lock_free, "the window sizes are one word");
static_assert(std::atomic<ResizeNotice>::is_always_lock_free, "a resize notice is one word");
static_assert(std::atomic<PixelSize>::is_always_lock_free, "a size is one word");
std::atomic<int32_t> resize_snapback{1};
std::atomic<int32_t> resize_auto{0};

std::atomic<int32_t> shell_call_in_progress{0};
std::atomic<int32_t> x11_lock_request{0};
std::atomic<int32_t> x11_locked{0};
std::atomic<PixelSize> desktop_size{};
std::atomic<int32_t> iconify_request{0};

std::string start_directory;
std::string root_directory;
std::string command_line;
int32_t program_argc = 0;
char** program_argv = nullptr;
