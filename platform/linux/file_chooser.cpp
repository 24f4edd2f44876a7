// The open-file dialog: the desktop's when a display is there, otherwise a chooser on the terminal.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "file_dialog.h"
#include "platform/linux/desktop_dialog.h"
#include "platform/linux/dialog_filters.h"
#include "platform/linux/terminal_text.h"

namespace {

std::vector<std::string> listFolder(const std::string &patterns) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(".", error)) {
    std::error_code typeError;
    if (!entry.is_regular_file(typeError)) continue;
    const std::string name = entry.path().filename().string();
    if (matchesDialogPatterns(name.c_str(), patterns)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void say(int terminal, const std::string &utf8) {
  const std::string text = toTerminalText(utf8.c_str());
  for (size_t done = 0; done < text.size();) {
    const ssize_t wrote = write(terminal, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    done += static_cast<size_t>(wrote);
  }
}

// Reads one line without its newline; false at end of input or on a read error.
bool readLine(int terminal, std::string &line) {
  line.clear();
  for (;;) {
    char c;
    const ssize_t got = read(terminal, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return !line.empty();
    if (c == '\n') return true;
    line += c;
  }
}

// The full path of the answer, or the reason it cannot be opened.
bool resolveChoice(const std::string &answer, size_t maxLength, std::string &path,
                   std::string &reason) {
  std::filesystem::path chosen(answer);
  if (chosen.is_relative()) {
    std::error_code error;
    chosen = std::filesystem::current_path(error) / chosen;
  }
  path = chosen.lexically_normal().string();
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    reason = "no such file: " + path;
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    reason = "not a regular file: " + path;
    return false;
  }
  if (path.size() > maxLength) {
    reason = "the full path is longer than " + std::to_string(maxLength) + " bytes";
    return false;
  }
  return true;
}

// Talks on the terminal only, so that standard output holds nothing but the program's text.
BOOL terminalChooseFile(OPENFILENAMEA *dialog) {
  const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0) return 0;

  const std::vector<DialogFilter> filters = parseDialogFilters(dialog->lpstrFilter);
  size_t current = dialog->nFilterIndex >= 1 && dialog->nFilterIndex <= filters.size()
                       ? dialog->nFilterIndex - 1
                       : 0;
  const size_t maxLength = dialog->nMaxFile > 0 ? dialog->nMaxFile - 1 : 0;
  std::vector<std::string> names;
  bool showList = true;
  BOOL chosen = 0;

  for (;;) {
    if (showList) {
      const std::string pattern = filters.empty() ? "*.*" : filters[current].patterns;
      names = listFolder(pattern);
      std::string text = "\nOpen a file\n";
      for (size_t i = 0; i < filters.size(); ++i) {
        text += (i == current ? "  [x] " : "  [ ] ") + filters[i].name + "\n";
      }
      for (size_t i = 0; i < names.size(); ++i) {
        text += "  " + std::to_string(i + 1) + ") " + names[i] + "\n";
      }
      if (names.empty()) text += "  (no matching files here)\n";
      say(terminal, text);
      showList = false;
    }
    std::string prompt = "Number or path";
    for (const DialogFilter &filter : filters) prompt += ", " + filter.patterns;
    say(terminal, prompt + " to list, Enter to cancel: ");

    std::string answer;
    if (!readLine(terminal, answer) || answer.empty()) break;

    const auto filter = std::find_if(filters.begin(), filters.end(),
                                     [&](const DialogFilter &f) { return f.patterns == answer; });
    if (filter != filters.end()) {
      current = static_cast<size_t>(filter - filters.begin());
      showList = true;
      continue;
    }
    std::string choice = answer;
    if (answer.find_first_not_of("0123456789") == std::string::npos && answer.size() < 9) {
      const size_t number = std::stoul(answer);
      if (number >= 1 && number <= names.size()) choice = names[number - 1];
    }
    std::string path, reason;
    if (!resolveChoice(choice, maxLength, path, reason)) {
      say(terminal, reason + "\n");
      continue;
    }
    std::memcpy(dialog->lpstrFile, path.c_str(), path.size() + 1);
    if (dialog->lpstrFileTitle != nullptr && dialog->nMaxFileTitle > 0) {
      const std::string title = std::filesystem::path(path).filename().string();
      const size_t length = std::min<size_t>(title.size(), dialog->nMaxFileTitle - 1);
      std::memcpy(dialog->lpstrFileTitle, title.data(), length);
      dialog->lpstrFileTitle[length] = '\0';
    }
    chosen = 1;
    break;
  }
  close(terminal);
  return chosen;
}

}  // namespace

BOOL GetOpenFileNameA(OPENFILENAMEA *dialog) {
  if (dialog->lpstrFile == nullptr || dialog->nMaxFile == 0) return 0;
  switch (desktopChooseFile(dialog)) {
    case DesktopDialogResult::chosen:
      return 1;
    case DesktopDialogResult::cancelled:
      return 0;
    case DesktopDialogResult::unavailable:
      break;
  }
  return terminalChooseFile(dialog);
}
