// Puts tests/core/fake-xmessage first in PATH for the lifetime of the object, so that dialogs run
// the recording stand-in instead of a real xmessage. Children forked while it lives inherit it.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class FakeXmessage {
 public:
  // exit_code: what every dialog "answers" (2 Yes, 1 No or OK).
  explicit FakeXmessage(int exit_code = 1) {
    saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    char log_template[] = "/tmp/core-xmessage-XXXXXX";
    int fd = mkstemp(log_template);
    if (fd >= 0) close(fd);
    log_path_ = log_template;
    setenv("FAKE_XMESSAGE_LOG", log_path_.c_str(), 1);
    set_exit_code(exit_code);
    setenv("PATH", (directory() + ":" + saved_path_).c_str(), 1);
  }
  ~FakeXmessage() {
    setenv("PATH", saved_path_.c_str(), 1);
    unsetenv("FAKE_XMESSAGE_LOG");
    unsetenv("FAKE_XMESSAGE_EXIT");
    std::remove(log_path_.c_str());
  }
  FakeXmessage(const FakeXmessage&) = delete;
  FakeXmessage& operator=(const FakeXmessage&) = delete;

  void set_exit_code(int code) { setenv("FAKE_XMESSAGE_EXIT", std::to_string(code).c_str(), 1); }

  // Makes xmessage impossible to find: PATH holds only a directory without it.
  void hide_xmessage() { setenv("PATH", "/nonexistent-directory-for-core-tests", 1); }

  // The arguments of every call so far (without the program name), oldest first.
  std::vector<std::vector<std::string>> calls() const {
    std::ifstream log(log_path_, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\0') {
        fields.push_back(bytes.substr(start, i - start));
        start = i + 1;
      }
    }
    std::vector<std::vector<std::string>> result;
    for (size_t i = 0; i < fields.size();) {
      size_t count = std::stoul(fields[i++]);
      std::vector<std::string> call;
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
  std::string saved_path_;
  std::string log_path_;
};
