#pragma once

// Reads that race with the program thread's drawing on purpose.
//
// A reader that only looks at a page's contents while the program may be drawing into it (frame
// preparation, a tool that polls the screen for a picture) accepts a half-drawn result and looks
// again. While a DeliberateRace is alive, the thread sanitizer ignores this thread's reads; in
// any other build it is nothing. Keep its scope to the read itself.

#if defined(__SANITIZE_THREAD__)
#define VOST_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VOST_THREAD_SANITIZER 1
#endif
#endif

#ifdef VOST_THREAD_SANITIZER
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
struct DeliberateRace {
  DeliberateRace() { AnnotateIgnoreReadsBegin(__FILE__, __LINE__); }
  ~DeliberateRace() { AnnotateIgnoreReadsEnd(__FILE__, __LINE__); }
  DeliberateRace(const DeliberateRace&) = delete;
  DeliberateRace& operator=(const DeliberateRace&) = delete;
};
#else
struct DeliberateRace {};
#endif
