// Output files: the destination checked up front, written through a temporary file beside it.
#include "common/output_file.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const fs::path &path) {
  std::string extension = path.extension().string();
  for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// The file that the output replaces: the destination itself, or where its symlinks lead.
fs::path destinationFile(const char *path) {
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(fs::path(path), error);
  return error ? fs::absolute(fs::path(path), error) : resolved;
}

fs::path folderOf(const fs::path &file) {
  return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

}  // namespace

std::string outputPathProblem(const char *path, bool *usage) {
  *usage = true;
  const std::string name(path);
  if (name.empty()) return "an empty file name";
  if (name == "-") return "cannot write a picture to standard output; give a file name";
  const std::string extension = lowerExtension(fs::path(name));
  if (!extension.empty() && extension != ".bmp" && extension != ".png") {
    return "unknown picture type '" + extension + "': the name must end in .bmp or .png";
  }
  *usage = false;
  const fs::path file = destinationFile(path);
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (fs::exists(status) && !fs::is_regular_file(status)) return "not a regular file";
  const fs::path folder = folderOf(file);
  if (!fs::is_directory(folder, error)) return "no such folder: " + folder.string();
  // Whether the folder takes a new file is known only by making one: a trial temporary file.
  const std::string trial = temporaryOutputPath(path);
  std::FILE *probe = std::fopen(trial.c_str(), "wb");
  if (probe == nullptr) return folder.string() + ": " + std::generic_category().message(errno);
  std::fclose(probe);
  std::remove(trial.c_str());
  return "";
}

std::string temporaryOutputPath(const char *path) {
  const fs::path file = destinationFile(path);
  std::string stem(1, '.');
  stem.append(file.filename().string()).append(".bmpspectrum-");
  auto serial =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (;;) {
    const fs::path candidate = folderOf(file) / (stem + std::to_string(serial++) + ".tmp");
    std::error_code error;
    if (!fs::exists(candidate, error)) return candidate.string();
  }
}

bool replaceOutputFile(const std::string &temporary, const char *path) {
  const fs::path file = destinationFile(path);
  std::error_code error;
  const fs::file_status old = fs::status(file, error);
  if (!error && fs::is_regular_file(old)) {
    fs::permissions(temporary, old.permissions(), fs::perm_options::replace, error);
  }
  fs::rename(temporary, file, error);
  if (!error) return true;
  std::remove(temporary.c_str());
  errno = error.value();
  return false;
}

bool publishNewFile(const std::string &temporary, const std::string &path) {
  std::error_code error;
  fs::create_hard_link(temporary, path, error);
  std::remove(temporary.c_str());
  if (!error) return true;
  errno = error.value();
  return false;
}

bool finishOutputFile(std::FILE *file, const char *path, bool written, int error) {
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  if (written) error = errno;
  std::remove(path);
  errno = error;
  return false;
}
