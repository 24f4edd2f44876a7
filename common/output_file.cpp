// Ending an output file: kept only when every byte reached it, removed otherwise.
#include "common/output_file.h"

#include <cerrno>

bool finishOutputFile(std::FILE *file, const char *path, bool written, int error) {
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  if (written) error = errno;
  std::remove(path);
  errno = error;
  return false;
}
