// Output files: the destination checked up front, written through a temporary file beside it.
#include "common/output_file.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "common/utf8_path.h"
#include "platform/system_text.h"

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const fs::path &path) {
  std::string extension = utf8FromPath(path.extension());
  for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// The file that the output replaces: the destination itself, or where its symlinks lead.
fs::path destinationFile(const char *path) {
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(pathFromUtf8(path), error);
  return error ? fs::absolute(pathFromUtf8(path), error) : resolved;
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
  const std::string extension = lowerExtension(pathFromUtf8(path));
  if (!extension.empty() && extension != ".bmp" && extension != ".png") {
    return "unknown picture type '" + extension + "': the name must end in .bmp or .png";
  }
  *usage = false;
  const fs::path file = destinationFile(path);
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (fs::exists(status) && !fs::is_regular_file(status)) return "not a regular file";
  const fs::path folder = folderOf(file);
  if (!fs::is_directory(folder, error)) return "no such folder: " + utf8FromPath(folder);
  // Whether the folder takes a new file is known only by making one: a trial temporary file.
  const std::string trial = temporaryOutputPath(path);
  std::FILE *probe = openFile(trial.c_str(), "wb");
  if (probe == nullptr) return utf8FromPath(folder) + ": " + std::generic_category().message(errno);
  std::fclose(probe);
  fs::remove(pathFromUtf8(trial.c_str()), error);
  return "";
}

std::string temporaryOutputPath(const char *path) {
  const fs::path file = destinationFile(path);
  std::string stem(1, '.');
  stem.append(utf8FromPath(file.filename())).append(".bmpspectrum-");
  auto serial =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (;;) {
    const fs::path candidate = folderOf(file) / (stem + std::to_string(serial++) + ".tmp");
    std::error_code error;
    if (!fs::exists(candidate, error)) return utf8FromPath(candidate);
  }
}

bool replaceOutputFile(const std::string &temporary, const char *path) {
  const fs::path file = destinationFile(path);
  std::error_code error;
  const fs::file_status old = fs::status(file, error);
  if (!error && fs::is_regular_file(old)) {
    fs::permissions(pathFromUtf8(temporary.c_str()), old.permissions(), fs::perm_options::replace,
                    error);
  }
  fs::rename(pathFromUtf8(temporary.c_str()), file, error);
  if (!error) return true;
  std::error_code ignored;
  fs::remove(pathFromUtf8(temporary.c_str()), ignored);
  errno = error.value();
  return false;
}

bool publishNewFile(const std::string &temporary, const std::string &path) {
  std::error_code error;
  fs::create_hard_link(pathFromUtf8(temporary.c_str()), pathFromUtf8(path.c_str()), error);
  std::error_code ignored;
  fs::remove(pathFromUtf8(temporary.c_str()), ignored);
  if (!error) return true;
  errno = error.value();
  return false;
}

bool finishOutputFile(std::FILE *file, const char *path, bool written, int error) {
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  if (written) error = errno;
  std::error_code ignored;
  fs::remove(pathFromUtf8(path), ignored);
  errno = error;
  return false;
}
