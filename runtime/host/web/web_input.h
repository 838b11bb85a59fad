// What the page hands the runtime, through a worker of its own.
//
// The page's main thread never waits for a lock of the runtime (the keyboard's, a wake-up's, the
// title's): it is the tab's main thread, shared with the site's other pages and the browser's own
// work on them, and a worker that holds such a lock while it is descheduled or stopped would
// stall all of them. So the page's events go into a queue that takes no lock, and the input
// thread, one of the runtime's workers, hands them to the runtime in order. The same thread
// copies the window title and the address's parameters into buffers that the page's turns read
// without a lock.
#pragma once

#include <cstddef>
#include <cstdint>

enum class PageEventKind : int32_t {
  character_key,     // a: character, b: down, c: modifiers, d: plain (host_character_key)
  key,               // a: key code, b: down, c: modifiers (host_key)
  tap,               // a, b: the frame's pixel (host_tap)
  focus_lost,        // host_focus_lost
  full_screen_left,  // the browser left full screen by itself
  resized,           // the canvas has a new size: the presentation is worked out again
  raise_error,       // a: the runtime error to raise in the program
};

struct PageEvent {
  PageEventKind kind = PageEventKind::focus_lost;
  int32_t a = 0, b = 0, c = 0, d = 0;
};

// Main thread: queues an event for the input thread. False when 1024 events wait already (the
// input thread has stopped): the event is dropped.
bool queue_page_event(const PageEvent& event);

// Any thread, from the wake-up hook: when the title or the address's parameters changed since
// the input thread copied them, it copies them again and then asks the page for a turn.
void page_title_may_have_changed();

// Main thread: the title and the address's parameters (NUL-terminated, in the buffers given),
// when the input thread copied a generation other than *applied since; *applied becomes it.
// False when nothing is new, or while a copy is being made (the input thread then asks for
// another turn).
bool take_page_title(uint32_t* applied, char* title, size_t title_capacity, char* link,
                     size_t link_capacity);

// The input thread's body (host_main starts it).
void page_input_thread();
