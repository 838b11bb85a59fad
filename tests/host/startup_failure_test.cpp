// Start-up failures: the shortage a failure line names, and texture padding, whose allocation
// failure must be an ordinary failed upload.
#include "runtime/host/startup_failure.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <vector>

#include "runtime/host/texture_padding.h"
#include "tests/support/child_process.h"

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
