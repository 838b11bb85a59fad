// A recording stand-in for xmessage (tests/support/fake-xmessage/xmessage).
//
// Every test binary runs with it first in PATH (tests/support/test_main.cpp), so a dialog never
// reaches a real display and a dialog nobody expected fails the test. A test that provokes
// dialogs on purpose declares them by creating a FakeXmessage: while it lives, dialogs go to a
// log of its own (read with calls()) and answer with the exit code it was given. Children
// forked while it lives inherit it.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

class FakeXmessage {
 public:
  using Call = std::vector<std::string>;  // the arguments, without the program name

  // exit_code: what every dialog "answers" (2 Yes, 1 No or OK).
  explicit FakeXmessage(int exit_code = 1)
      : saved_path_(current("PATH").value_or("")),
        saved_log_(current("FAKE_XMESSAGE_LOG")),
        saved_exit_(current("FAKE_XMESSAGE_EXIT")) {
    char log_template[] = "/tmp/test-xmessage-XXXXXX";
    int fd = mkstemp(log_template);
    if (fd >= 0) close(fd);
    log_path_ = log_template;
    setenv("FAKE_XMESSAGE_LOG", log_path_.c_str(), 1);
    set_exit_code(exit_code);
    setenv("PATH", (directory() + ":" + saved_path_).c_str(), 1);
  }
  ~FakeXmessage() {
    setenv("PATH", saved_path_.c_str(), 1);
    restore("FAKE_XMESSAGE_LOG", saved_log_);
    restore("FAKE_XMESSAGE_EXIT", saved_exit_);
    std::remove(log_path_.c_str());
  }
  FakeXmessage(const FakeXmessage&) = delete;
  FakeXmessage& operator=(const FakeXmessage&) = delete;

  void set_exit_code(int code) { setenv("FAKE_XMESSAGE_EXIT", std::to_string(code).c_str(), 1); }

  // Makes xmessage impossible to find: PATH holds only a directory without it.
  void hide_xmessage() { setenv("PATH", "/nonexistent-directory-for-tests", 1); }

  // The arguments of every call so far, oldest first.
  std::vector<Call> calls() const { return read_log(log_path_); }

  // The calls recorded in a log from byte offset on. The stand-in appends, per call, the
  // argument count and then every argument, each ended by a NUL byte.
  static std::vector<Call> read_log(const std::string& path, std::streamoff offset = 0) {
    std::ifstream log(path, std::ios::binary);
    log.seekg(offset);
    std::string bytes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\0') {
        fields.push_back(bytes.substr(start, i - start));
        start = i + 1;
      }
    }
    std::vector<Call> result;
    for (size_t i = 0; i < fields.size();) {
      size_t count = std::stoul(fields[i++]);
      Call call;
      for (size_t k = 0; k < count && i < fields.size(); ++k) call.push_back(fields[i++]);
      result.push_back(call);
    }
    return result;
  }

  static std::string directory() {
    std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/')) + "/fake-xmessage";
  }

 private:
  static std::optional<std::string> current(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  }
  static void restore(const char* name, const std::optional<std::string>& value) {
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }

  std::string saved_path_;
  std::optional<std::string> saved_log_;
  std::optional<std::string> saved_exit_;
  std::string log_path_;
};
