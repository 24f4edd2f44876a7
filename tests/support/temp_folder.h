// A fresh folder of this test process's own, removed with all it holds when the process ends.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// Made by mkdtemp under $TMPDIR (or /tmp) on first use, so no two test processes, clones or users
// ever share a name; a process that cannot make it stops at once. Children forked by a test leave
// the folder to the process that made it.
inline const std::string &testFolder() {
  struct Folder {
    std::string path;
    pid_t owner;
    ~Folder() {
      std::error_code ignored;
      if (getpid() == owner) std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder = [] {
    const char *base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/bmpspectrum-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror(pattern.c_str());
      std::abort();
    }
    return Folder{pattern, getpid()};
  }();
  return folder.path;
}

// A path inside the test process's folder.
inline std::string testPath(const std::string &name) {
  return testFolder() + "/" + name;
}
