// Writing and reading a descriptor whole, through interruptions and short counts.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <string>

// Writes every byte; false when the descriptor takes no more.
inline bool writeAll(int fd, const std::string &bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}
