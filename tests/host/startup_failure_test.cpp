// Start-up failures: the shortage a failure line names, where the line goes (a terminal, or a
// dialog for a player without one), and texture padding, whose allocation failure must be an
// ordinary failed upload.
#include "runtime/host/startup_failure.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "runtime/host/texture_padding.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_xmessage.h"

// The address and thread sanitizers reserve shadow memory and run their own allocators, which
// cannot live under an address-space limit: the tests that set one run in the other builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define UNDER_SHADOW_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define UNDER_SHADOW_SANITIZER 1
#endif
#endif

namespace {

constexpr int kNamed = 3, kUnnamed = 4;

// Runs body in a child under a lowered limit; the child's status says which shortage it saw.
ChildResult shortage_under(int resource, rlim_t limit, const char* expected) {
  return run_in_child([=] {
    const rlimit lowered{limit, limit};
    if (setrlimit(resource, &lowered) != 0) return 1;
    return startup_shortage().rfind(expected, 0) == 0 ? kNamed : kUnnamed;
  });
}

TEST(StartUpFailure, NamesTheShortageBehindIt) {
  EXPECT_EQ(startup_shortage(), "");  // nothing short in the test process
  // prlimit --nofile=4: the standard streams and the test's own descriptors leave too few.
  EXPECT_TRUE(shortage_under(RLIMIT_NOFILE, 4, "too few file descriptors (the limit is 4)")
                  .exited_with(kNamed));
#ifndef UNDER_SHADOW_SANITIZER
  // ulimit -v 200000: the libraries' address space is not there.
  EXPECT_TRUE(shortage_under(RLIMIT_AS, rlim_t{200000} << 10, "out of memory").exited_with(kNamed));
#endif
}

// Standard error of a failing child: a file (started from a menu, or by a launcher that logs)
// or a terminal (a pseudo-terminal's far end).
enum class StandardError { file, terminal };

// Opens what the child's standard error becomes; -1 when it cannot.
int open_standard_error(StandardError kind, const std::string& file) {
  if (kind == StandardError::file) return open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return -1;
  return open(ptsname(terminal), O_RDWR | O_NOCTTY);  // the master stays open in the child
}

TEST(StartUpFailure, WithoutATerminalTheLineIsAlsoShownInADialog) {
  const struct {
    StandardError standard_error;
    bool dialog;
  } cases[] = {{StandardError::file, true}, {StandardError::terminal, false}};
  for (const auto& c : cases) {
    FakeXmessage dialogs(1);
    char log[] = "/tmp/startup-failure-XXXXXX";
    close(mkstemp(log));
    const ChildResult r = run_in_child([&]() -> int {
      const int fd = open_standard_error(c.standard_error, log);
      if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) return 100;
      fail_to_start("no OpenGL display mode");
    });
    EXPECT_TRUE(r.exited_with(1)) << r.describe();
    std::ifstream logged(log);
    const std::string written((std::istreambuf_iterator<char>(logged)), {});
    std::remove(log);
    const std::vector<FakeXmessage::Call> calls = dialogs.calls();
    if (!c.dialog) {
      EXPECT_TRUE(calls.empty());
      continue;
    }
    // The caption, the line (with xmessage's padding) and an OK button; standard error keeps the
    // one line that every dialog leaves there.
    ASSERT_EQ(calls.size(), 1u);
    const FakeXmessage::Call& call = calls[0];
    ASSERT_EQ(call.size(), 6u);
    EXPECT_EQ(call[2], startup_failure_caption);
    EXPECT_EQ(call[4], "OK:1");
    EXPECT_EQ(call[5].rfind("no OpenGL display mode ", 0), 0u) << call[5];
    EXPECT_EQ(written, "vostrandelimerix: Vostrandelimerix: no OpenGL display mode\n");
  }
}

TEST(TexturePadding, RepeatsTheLastColumnAndRowIntoThePadding) {
  // 3 x 3 -> 4 x 4: column 3 repeats column 2, row 3 repeats row 2 (its padding included).
  const std::vector<uint32_t> picture = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::optional<PaddedPixels> padded = pad_to_power_of_two(picture.data(), 3, 3);
  ASSERT_TRUE(padded);
  EXPECT_EQ(padded->width, 4);
  EXPECT_EQ(padded->height, 4);
  const std::vector<uint32_t> expected = {1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 7, 8, 9, 9};
  EXPECT_EQ(std::vector<uint32_t>(padded->pixels.get(), padded->pixels.get() + 16), expected);
  // A power-of-two size is not enlarged; a size without a power of two in range fails.
  EXPECT_EQ(pad_to_power_of_two(picture.data(), 2, 1)->width, 2);
  EXPECT_FALSE(pad_to_power_of_two(picture.data(), (1 << 30) + 1, 1));
  EXPECT_FALSE(pad_to_power_of_two(picture.data(), 0, 3));
}

#ifndef UNDER_SHADOW_SANITIZER
TEST(TexturePadding, NoMemoryForTheCopyIsAFailedUpload) {
  // 5000 x 5000 pads to 8192 x 8192, 256 MiB, which 128 MiB of address space cannot hold: the
  // padding fails instead of throwing (which would abort the game from the display callback).
  const ChildResult r = run_in_child([] {
    const rlimit lowered{rlim_t{128} << 20, rlim_t{128} << 20};
    if (setrlimit(RLIMIT_AS, &lowered) != 0) return 1;
    const uint32_t pixel = 0;  // never read: there is no copy to read it into
    return pad_to_power_of_two(&pixel, 5000, 5000) ? kUnnamed : kNamed;
  });
  EXPECT_TRUE(r.exited_with(kNamed)) << r.describe();
}
#endif

}  // namespace
