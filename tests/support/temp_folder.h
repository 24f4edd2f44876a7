// A fresh folder of this test process's own, removed with all it holds when the process ends.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

// Made under $TMPDIR (or the system's temporary folder) on first use, so no two test processes,
// clones or users ever share a name; a process that cannot make it stops at once. Children forked
// by a test leave the folder to the process that made it.
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
    const std::filesystem::path parent = base != nullptr && *base != '\0'
                                             ? std::filesystem::path(base)
                                             : std::filesystem::temp_directory_path();
    // As mkdtemp does, portably: a random name, taken only by the call that creates it.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "bmpspectrum-test-%08x", random());
      const std::filesystem::path path = parent / name;
      std::error_code error;
      if (std::filesystem::create_directory(path, error)) {
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
        return Folder{path.string(), getpid()};
      }
    }
    std::perror("no test folder could be made");
    std::abort();
  }();
  return folder.path;
}

// A path inside the test process's folder.
inline std::string testPath(const std::string &name) {
  return testFolder() + "/" + name;
}
