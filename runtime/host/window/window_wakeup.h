// Waking the X11 host's window thread, which sleeps in poll() on its X connection and on an
// eventfd while neither the X server nor another thread has anything for it.
//
// Other threads call wake_window() (host_seam.h) after publishing what the window thread must act
// on: a new frame ready to show, a new title, an iconify or full-screen request, a request for the
// windowing-connection lock. host_main installs window_wakeup_write as the host's wake hook; the
// eventfd is made before the window exists, and until then waking does nothing.
#pragma once

// The eventfd to poll (-1 before the window thread has made it). Window thread.
int window_wakeup_fd();
// Makes the eventfd (window thread, once, before the window exists); false when it cannot.
bool window_wakeup_open();
// Any thread: makes the eventfd readable (the X11 host's wake hook).
void window_wakeup_write();
// Window thread, after poll() reported the eventfd readable: resets it.
void window_wakeup_drain();
// Window thread: blocks until wake_window() is called (or was called since the last drain), then
// resets the eventfd. For the window thread's waits on another thread outside its event loop.
void window_wakeup_wait();
