#include "runtime/host/host_state.h"

std::atomic<int32_t> exit_value{0};
std::atomic<int32_t> exit_blocked{0};
std::atomic<int32_t> exit_code{0};
std::atomic<int32_t> create_window{0};
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
std::atomic<int32_t> display_x{0}, display_y{0}, display_x_prev{0}, display_y_prev{0};
std::atomic<int32_t> resize_event{0}, resize_event_x{0}, resize_event_y{0};
std::atomic<int32_t> resize_pending{0};
std::atomic<int32_t> os_resize_event{0};
std::atomic<int32_t> resize_snapback{1};
std::atomic<int32_t> resize_auto{0};

std::atomic<int32_t> shell_call_in_progress{0};
std::atomic<int32_t> x11_lock_request{0};
std::atomic<int32_t> x11_locked{0};
std::atomic<void*> X11_display{nullptr};
std::atomic<unsigned long> X11_window{0};
std::atomic<int32_t> desktop_width{0}, desktop_height{0};
std::atomic<int32_t> iconify_request{0};

char* window_title = nullptr;

std::string start_directory;
std::string root_directory;
std::string command_line;
int32_t program_argc = 0;
char** program_argv = nullptr;
