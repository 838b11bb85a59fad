// The display lock: while the program frees, replaces or reshapes a screen page (a mode change, a
// new font on a text screen, a resized screen image, a freed page), frame preparation must stand
// still.
//
// The handshake runs on lock_display: the program thread requests (0 -> 1) and waits; frame
// preparation grants (1 -> 2) at the start and at the end of every display(); the program thread
// releases (2 -> 0) when its change is complete. The lock is taken only while the presentation
// side runs: automatic display on and lock_display_required set.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

struct img_struct;

// 0 free, 1 requested by the program thread, 2 granted by frame preparation. Written by the
// program thread (0 -> 1, 2 -> 0) and the main loop thread (1 -> 2).
extern std::atomic<int32_t> lock_display;
// Set by host_main just before the main loop thread starts; only then is the display lock taken.
extern std::atomic<int32_t> lock_display_required;

// Program thread: holds the display lock from construction to destruction, when the presentation
// side runs (otherwise it does nothing). Re-entrant: a lock taken while the same thread already
// holds one does nothing, so a statement can hold it around helpers that take it themselves.
class DisplayLock {
 public:
  DisplayLock();
  ~DisplayLock();
  DisplayLock(const DisplayLock&) = delete;
  DisplayLock& operator=(const DisplayLock&) = delete;

 private:
  bool taken_ = false;
  bool outermost_ = false;
};

// Program thread: fences a structural change of one image (its buffers freed or replaced, its
// size, mode, kind or font changed). A screen page may be on display, or may have been until a
// moment ago with preparation still reading it, so for a screen page this holds the display lock;
// any other image is the program's alone and needs nothing.
class PageStructureChange {
 public:
  explicit PageStructureChange(const img_struct& im);

 private:
  std::optional<DisplayLock> lock_;
};

// Grants a pending request, so that the program may change the screen: frame preparation at the
// start and end of every pass, and the shutdown once frame preparation has stopped for good.
void answer_display_lock();
