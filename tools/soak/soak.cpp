// soak: plays thousands of puzzles per display class through the real program, headless, and
// fails at the first surprise.
//
//   soak [--puzzles N] [--classes 123] [--seed S] [--quiet]
//
// For each display class (menu keys 1, 2, 3) a child process starts the program as the game
// would, without a window, and plays N puzzles (default 10 000) with the keys a player types:
// most solved at once from the hidden placement, about one in ten first placed wrongly and then
// solved, about one in ten revealed with Enter part-way and then solved. It fails (exit status 1,
// with a message saying what and where) on:
// - any dialog: a recording stand-in for xmessage is first in PATH and answers No, which ends
//   the program;
// - a hidden placement that breaks the spacing rule, or differs from the one the random-number
//   generator dictates;
// - a count, in CHESSCOUNT or as the digit drawn in its square, that differs from the attack rules
//   written out in tools/soak/model.cpp;
// - a verdict other than the expected one, a reveal that does not show the hidden pieces, a
//   failed puzzle that does not come back unchanged;
// - growth of anonymous resident memory after the warm-up (see play.cpp).
// It also counts the puzzles whose counts fit more than one placement, with and without the
// spacing rule, and prints puzzles per second, peak resident memory and the count of each
// outcome. The seed (printed; default from the clock) fixes every choice, so a failing run can be
// repeated with --seed.
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "runtime/core/dialog_host.h"
#include "runtime/host/window/xmessage_dialog.h"
#include "tools/soak/play.h"

namespace {

using soak::class_figures;
using soak::display_class;

constexpr display_class classes[3] = {
    {'1', 1, 3, 3, 1, 2},
    {'2', 3, 1, 2, 3, 6},
    {'3', 5, 1, 1, 0, 0},
};

struct options {
  soak::play_options play;
  std::string class_keys = "123";
};

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr, "soak: %s\nusage: soak [--puzzles N] [--classes 123] [--seed S] [--quiet]\n",
               why);
  std::exit(2);
}

options parse(int argc, char** argv) {
  options o;
  o.play.seed = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count() %
                                      1000000000);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage(("missing value after " + argument).c_str());
      return argv[++i];
    };
    if (argument == "--puzzles") {
      o.play.puzzles = std::atoi(value().c_str());
      if (o.play.puzzles < 1) usage("--puzzles needs a positive number");
    } else if (argument == "--classes") {
      o.class_keys = value();
      if (o.class_keys.empty() || o.class_keys.find_first_not_of("123") != std::string::npos)
        usage("--classes takes menu keys 1, 2 and 3, e.g. --classes 13");
    } else if (argument == "--seed") {
      o.play.seed = std::strtoull(value().c_str(), nullptr, 10);
    } else if (argument == "--quiet") {
      o.play.verbose = false;
    } else {
      usage(("unknown argument " + argument).c_str());
    }
  }
  return o;
}

// A directory holding a stand-in xmessage that records each dialog (argument count, then the
// arguments, NUL-terminated) and answers No, first in PATH for every child.
class dialog_recorder {
 public:
  dialog_recorder() {
    char directory[] = "/tmp/vost-soak-XXXXXX";
    if (::mkdtemp(directory) == nullptr) {
      std::perror("soak: mkdtemp");
      std::exit(2);
    }
    directory_ = directory;
    const std::string script = directory_ + "/xmessage";
    std::ofstream(script) << "#!/bin/sh\n"
                             "printf '%s\\0' \"$#\" \"$@\" >>\"$VOST_SOAK_DIALOG_LOG\"\n"
                             "exit 1\n";
    ::chmod(script.c_str(), 0755);
    log_ = directory_ + "/dialogs";
    const char* path = std::getenv("PATH");
    ::setenv("PATH", (directory_ + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    ::setenv("VOST_SOAK_DIALOG_LOG", log_.c_str(), 1);
  }
  ~dialog_recorder() {
    std::remove(log_.c_str());
    std::remove((directory_ + "/xmessage").c_str());
    ::rmdir(directory_.c_str());
  }
  dialog_recorder(const dialog_recorder&) = delete;
  dialog_recorder& operator=(const dialog_recorder&) = delete;

  bool any() const {
    struct stat info {};
    return ::stat(log_.c_str(), &info) == 0 && info.st_size > 0;
  }

 private:
  std::string directory_, log_;
};

double mib(uint64_t bytes) { return static_cast<double>(bytes) / 1048576.0; }

}  // namespace

int main(int argc, char** argv) {
  const options o = parse(argc, argv);
  dialog_recorder dialogs;
  // Dialogs go to the recording stand-in for xmessage, as in the game.
  set_dialog_host(xmessage_dialog_host());
  std::printf("soak: %d puzzles per class, classes %s, seed %llu\n", o.play.puzzles,
              o.class_keys.c_str(), static_cast<unsigned long long>(o.play.seed));
  std::fflush(stdout);

  struct run {
    const display_class* k;
    class_figures figures;
    long peak_rss_kib;
  };
  std::vector<run> runs;
  for (char key : o.class_keys) {
    const display_class& k = classes[key - '1'];
    // The child writes its figures into a page shared with this process.
    void* shared = ::mmap(nullptr, sizeof(class_figures), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
      std::perror("soak: mmap");
      return 2;
    }
    auto* figures = new (shared) class_figures();
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
      std::perror("soak: fork");
      return 2;
    }
    if (child == 0) soak::play_class(k, o.play, *figures);

    int status = 0;
    struct rusage usage {};
    while (::wait4(child, &status, 0, &usage) < 0) {
      if (errno != EINTR) {
        std::perror("soak: wait4");
        return 2;
      }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !figures->completed) {
      if (WIFSIGNALED(status))
        std::fprintf(stderr, "soak: FAILED in class %c: the process was killed by signal %d\n", key,
                     WTERMSIG(status));
      else if (WEXITSTATUS(status) == 0)
        // A fatal error ends the process at once, with status 0, after its dialog.
        std::fprintf(stderr,
                     "soak: FAILED in class %c: the process ended after %d puzzles without "
                     "finishing%s\n",
                     key, figures->puzzles, dialogs.any() ? " (a dialog was shown)" : "");
      return 1;
    }
    runs.push_back({&k, *figures, usage.ru_maxrss});
    ::munmap(shared, sizeof(class_figures));
  }
  if (dialogs.any()) {
    std::fprintf(stderr, "soak: FAILED: a dialog was shown\n");
    return 1;
  }

  std::printf("\n%-5s %7s %7s %9s %8s %8s %8s %9s %9s %8s %8s %8s %7s %5s\n", "class", "puzzles",
              "seconds", "puzzles/s", "solved", "failed", "revealed", "ambiguous", "ambiguous",
              "distinct", "peak RSS", "warm-up", "growth", "rises");
  std::printf("%-5s %7s %7s %9s %8s %8s %8s %9s %9s %8s %8s %8s %7s %5s\n", "", "", "", "",
              "at once", "first", "first", "(spacing)", "(any)", "puzzles", "(MiB)", "puzzles",
              "(KiB)", "");
  int total_puzzles = 0;
  double total_seconds = 0, solver_seconds = 0;
  double peak_mib = 0;
  bool memory_judged = true;
  for (const run& r : runs) {
    const class_figures& f = r.figures;
    total_puzzles += f.puzzles;
    total_seconds += f.seconds;
    solver_seconds += f.solver_seconds;
    // ru_maxrss is in KiB; the samples catch what it may not have updated yet.
    const double peak = std::max(static_cast<double>(r.peak_rss_kib) / 1024.0, mib(f.rss_highest));
    peak_mib = std::max(peak_mib, peak);
    memory_judged = memory_judged && f.memory_judged;
    std::printf("%-5c %7d %7.1f %9.1f %8d %8d %8d %9d %9d %8d %8.1f %8d %7llu %5d\n", r.k->menu_key,
                f.puzzles, f.seconds, f.puzzles / f.seconds, f.solved_first_time,
                f.failed_then_solved, f.revealed_then_solved, f.ambiguous_with_spacing,
                f.ambiguous_without_spacing, f.distinct_placements, peak, f.warm_up_puzzles,
                static_cast<unsigned long long>(f.anon_growth / 1024), f.anon_new_highs);
  }
  std::printf(
      "\n%d puzzles in %.1f s: %.1f puzzles/s (the solver took %.2f s of it); peak RSS "
      "%.1f MiB.\n",
      total_puzzles, total_seconds, total_puzzles / total_seconds, solver_seconds, peak_mib);
  std::printf(
      "Ambiguous: puzzles whose counts fit another placement, keeping the spacing rule or "
      "on any five distinct squares.\nGrowth and rises: anonymous resident memory above "
      "the warm-up's highest, and how many times it set a new highest.\n");
  std::printf(
      "soak passed: no dialog; every hidden placement kept the spacing rule and matched "
      "the generator; every count matched the rules in CHESSCOUNT and on screen; every "
      "verdict was the expected one; %s.\n",
      memory_judged ? "memory stayed flat after the warm-up"
      : soak::under_address_sanitizer()
          ? "memory not judged (AddressSanitizer build)"
          : "memory not judged (the run is shorter than twice the warm-up)");
  return 0;
}
