// How the window's size follows the frame, the presentation and the window manager.
//
// On every redraw the display callback hands the frame's size to WindowFollower::follow, which
// keeps the windowed window at the size the frame asks for (snap-back, the aspect of automatic
// scaling), applies a pending full-screen request, and makes the presentation follow the window
// manager's own full-screen changes. What it asks of the window goes through WindowControls,
// which each host implements for its own window; the rules live here once, for every host.
//
// One change of size finishes before the next begins: while a request is under way, no
// full-screen request is applied (a toolkit carries some changes out later than others, and
// overlapping ones could leave a window that is not full screen while the runtime believes it
// is). A request counts as answered once the window shows the size asked for; an answer may also
// never come (the window manager chose another size, or the window had that size already), so
// after the answer timeout the request is dropped all the same.
//
// A window manager may refuse a size for good (a tiling one gives the window its tile, whatever it
// asks for): once a request ends with the window at another size, the game accepts that size and
// asks for the refused one again only when the window manager changes the window's size (for
// example floating the window), or the frame asks for another size. Meanwhile the picture is
// presented in the window it was given as full screen presents it (present_in_given_size). So
// there is at most one request per change of size, never a loop. Window thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "runtime/host/host_state.h"
#include "runtime/host/window_geometry.h"

// The window manager's own record of the window: full screen, maximized in either direction.
struct WindowManagerState {
  bool full_screen = false;
  bool maximized = false;
};

// What the follower asks of the host's window (window thread).
class WindowControls {
 public:
  virtual ~WindowControls() = default;
  // Asks for a new client size; the answer arrives later through host_window_resized.
  virtual void ask_size(int32_t width, int32_t height) = 0;
  // Asks for full screen (true) or for the window to leave it (false).
  virtual void ask_full_screen(bool on) = 0;
  // Asks the window manager to drop a maximized state; false when it was not maximized.
  virtual bool leave_maximized() = 0;
  // False until the window can take full-screen requests (a window manager ignores them for a
  // window it does not manage yet).
  virtual bool ready_for_full_screen() = 0;
  // Where windows go: the work area (the screen less its panels), else the whole screen.
  virtual WindowBox work_area() = 0;
  // The window manager's state when it changed since the last call, else nothing.
  virtual std::optional<WindowManagerState> take_window_manager_state() = 0;
};

class WindowFollower {
 public:
  static constexpr std::chrono::milliseconds default_answer_timeout{500};
  explicit WindowFollower(std::chrono::milliseconds answer_timeout = default_answer_timeout)
      : answer_timeout_(answer_timeout) {}

  // Keeps the windowed window's size in step with a frame_w x frame_h frame and applies a pending
  // full-screen request; window is the window's current client size.
  void follow(int32_t frame_w, int32_t frame_h, const WindowSizes& window,
              WindowControls& controls);
  // True while a size asked for has neither been shown nor timed out (window is the current
  // client size; a request answered or stale by now is dropped first).
  bool request_pending(PixelSize window);
  // How long the host's event loop may sleep before follow must run again although nothing
  // happened (a request that may never be answered): -1 = as long as it likes.
  int poll_timeout_ms(PixelSize window);
  // True when the windowed window keeps a size the window manager gave it in place of the one
  // asked for: the picture is then presented in it as full screen presents it.
  bool present_in_given_size(PixelSize window) const;

 private:
  void ask_size(int32_t width, int32_t height, WindowControls& controls);
  void ask_full_screen(bool on, WindowControls& controls);
  void follow_window_manager(WindowControls& controls);

  struct Request {
    bool pending = false;
    int32_t width = 0, height = 0;
    std::chrono::steady_clock::time_point asked;
  };
  Request request_;
  const std::chrono::milliseconds answer_timeout_;
  // The last request the window manager answered with another size: what was asked, what given.
  struct Refusal {
    bool active = false;
    WindowSize asked;
    PixelSize given;
  };
  Refusal refusal_;
  // Full screen as last asked of the window manager. Once no request of the game's is under way,
  // a window manager whose state differs made the change itself, and the presentation follows.
  bool asked_full_screen_ = false;
  WindowSizeMemory memory_;
};
