// Start-up failures and the shortages behind them.
#include "runtime/host/startup_failure.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>

#include "runtime/core/error.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/main_loop.h"

namespace {

// Descriptors the game needs beyond the standard three: the X connection, the window's eventfd,
// and a few more for a moment while the libraries start (the X authority file, driver files).
constexpr int descriptors_needed = 4;
// Address space the OpenGL libraries map as they start (a software renderer more than a
// hardware one); without this much room left they fail, whatever they say.
constexpr size_t address_space_needed = size_t{256} << 20;
// MessageBox's type for a dialog with an OK button (error.h).
constexpr int32_t ok_dialog = 0;

bool few_descriptors_left() {
  int opened[descriptors_needed];
  int count = 0;
  bool short_of_descriptors = false;
  while (count < descriptors_needed) {
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      short_of_descriptors = errno == EMFILE || errno == ENFILE;
      break;
    }
    opened[count++] = fd;
  }
  while (count > 0) close(opened[--count]);
  return short_of_descriptors;
}

bool little_address_space_left() {
  void* room = mmap(nullptr, address_space_needed, PROT_NONE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room == MAP_FAILED) return errno == ENOMEM;
  munmap(room, address_space_needed);
  return false;
}

}  // namespace

std::string startup_shortage() {
  const int saved_errno = errno;
  std::string shortage;
  if (few_descriptors_left()) {
    rlimit limit{};
    shortage = "too few file descriptors";
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
      shortage += " (the limit is " + std::to_string(limit.rlim_cur) + ")";
  } else if (little_address_space_left()) {
    shortage = "out of memory";
  }
  errno = saved_errno;
  return shortage;
}

const char startup_failure_caption[] = "Vostrandelimerix";

void fail_to_start(const std::string& what) {
  const std::string shortage = startup_shortage();
  const std::string why = shortage.empty() ? what : shortage + ": " + what;
  // Without a terminal (started from a menu) a player sees only a dialog. The dialog writes the
  // line to standard error itself, so there is one line either way. A process short of
  // descriptors or memory starts nothing more.
  if (shortage.empty() && !isatty(STDERR_FILENO)) {
    MessageBox(0, why.c_str(), startup_failure_caption, ok_dialog);
  } else {
    std::fprintf(stderr, "vostrandelimerix: %s\n", why.c_str());
  }
  end_process(1);
}

void report_uncaught_exceptions() {
  std::set_terminate([] {
    const char* what = "an unexpected failure";
    try {
      if (std::exception_ptr failure = std::current_exception()) std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
      what = "out of memory";
    } catch (const std::exception& failure) {
      what = failure.what();
    } catch (...) {
    }
    std::fprintf(stderr, "vostrandelimerix: %s\n", what);
    end_process(1);
  });
}
