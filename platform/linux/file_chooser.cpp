// The open-file dialog: the desktop's when a display is there, otherwise a chooser on the terminal.
#include "platform/file_chooser.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/format_text.h"
#include "platform/linux/desktop_dialog.h"
#include "platform/linux/dialog_filters.h"
#include "platform/linux/terminal_text.h"
#include "platform/linux/whole_io.h"
#include "platform/translate.h"

namespace {

// One line of the listing: a file, or a folder the user can enter ("..", the one above).
struct ChooserEntry {
  std::string name;
  bool folder;
};

// Where the chooser is and what it shows.
struct Chooser {
  int terminal = -1;
  std::filesystem::path folder;
  std::vector<DialogFilter> filters;
  size_t filter = 0;
  std::vector<ChooserEntry> entries;
  std::string folderError;  // why the folder could not be read; empty when it could
  size_t page = 0;
  size_t pageCount = 1;
};

// The matching files, sorted, then the folders (".." first); other kinds and dangling links are
// left out. A folder that cannot be read lists what was read before the failure.
void listFolder(Chooser &chooser) {
  const std::string patterns =
      chooser.filters.empty() ? "*.*" : chooser.filters[chooser.filter].patterns;
  std::vector<std::string> files, folders;
  std::error_code error;
  std::filesystem::directory_iterator entry(chooser.folder, error);
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    std::error_code typeError;
    const std::string name = entry->path().filename().string();
    if (entry->is_directory(typeError)) {
      folders.push_back(name);
    } else if (entry->is_regular_file(typeError) && matchesDialogPatterns(name.c_str(), patterns)) {
      files.push_back(name);
    }
  }
  chooser.folderError = error ? error.message() : std::string();
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  chooser.entries.clear();
  for (const std::string &name : files) chooser.entries.push_back({name, false});
  if (chooser.folder != chooser.folder.root_path()) chooser.entries.push_back({"..", true});
  for (const std::string &name : folders) chooser.entries.push_back({name, true});
  chooser.page = 0;
}

// The chooser's own texts are UTF-8 and are converted to the terminal's character set.
void say(int terminal, const std::string &utf8) {
  writeAll(terminal, toTerminalText(utf8.c_str()));
}

// Decodes one UTF-8 character at text[at]; its length, or 0 when the bytes are not one.
size_t utf8Character(const std::string &text, size_t at, char32_t &code) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const size_t length = lead < 0x80                   ? 1
                        : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// East Asian wide characters take two columns of the terminal.
bool wideCharacter(char32_t code) {
  return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
         (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
         (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
         (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1FAFF) ||
         (code >= 0x20000 && code <= 0x3FFFD);
}

// A name as it can be shown safely: control characters and bytes that are no UTF-8 become '?'.
// The columns it takes go to *width.
std::string shownName(const std::string &name, size_t *width) {
  std::string text;
  *width = 0;
  for (size_t at = 0; at < name.size();) {
    char32_t code = 0;
    const size_t length = utf8Character(name, at, code);
    if (length == 0 || code < 0x20 || (code >= 0x7F && code < 0xA0)) {
      text += '?';
      *width += 1;
      at += length == 0 ? 1 : length;
      continue;
    }
    text.append(name, at, length);
    *width += wideCharacter(code) ? 2 : 1;
    at += length;
  }
  return text;
}

// The terminal's size, or 80 x 24 when it does not say.
void terminalSize(int terminal, size_t &columns, size_t &rows) {
  winsize size{};
  const bool known = ioctl(terminal, TIOCGWINSZ, &size) == 0;
  columns = known && size.ws_col > 0 ? size.ws_col : 80;
  rows = known && size.ws_row > 0 ? size.ws_row : 24;
}

// The entries in columns, as ls lists them (down, then across), a page at a time when they do
// not fit on the screen. The names are written as they are, not converted.
std::string entryColumns(Chooser &chooser, size_t headerLines) {
  const size_t count = chooser.entries.size();
  std::vector<std::string> cells(count);
  std::vector<size_t> widths(count);
  size_t widest = 0;
  for (size_t i = 0; i < count; ++i) {
    const ChooserEntry &entry = chooser.entries[i];
    size_t nameWidth = 0;
    const std::string name = shownName(entry.name, &nameWidth) + (entry.folder ? "/" : "");
    cells[i] = std::to_string(i + 1) + ") " + name;
    widths[i] = std::to_string(i + 1).size() + 2 + nameWidth + (entry.folder ? 1 : 0);
    widest = std::max(widest, widths[i]);
  }
  size_t screenColumns, screenRows;
  terminalSize(chooser.terminal, screenColumns, screenRows);
  const size_t cellWidth = widest + 2;
  const size_t columns =
      std::max<size_t>(1, (screenColumns > 2 ? screenColumns - 2 : 1) / cellWidth);
  const size_t rows = (count + columns - 1) / columns;
  // Room for the header, the page line and the prompt.
  const size_t pageRows =
      std::max<size_t>(1, screenRows > headerLines + 3 ? screenRows - headerLines - 3 : 1);
  const size_t perPage = pageRows * columns;
  chooser.pageCount = std::max<size_t>(1, (count + perPage - 1) / perPage);
  chooser.page = std::min(chooser.page, chooser.pageCount - 1);
  const size_t first = chooser.page * perPage;
  const size_t shown = std::min(perPage, count - first);
  const size_t shownRows = std::min(rows, (shown + columns - 1) / columns);

  std::string text;
  for (size_t row = 0; row < shownRows; ++row) {
    text += "  ";
    for (size_t column = 0; column < columns; ++column) {
      const size_t i = first + column * shownRows + row;
      if (column * shownRows + row >= shown) break;
      text += cells[i];
      const bool last = column + 1 == columns || (column + 1) * shownRows + row >= shown;
      if (!last) text.append(cellWidth - widths[i], ' ');
    }
    text += "\n";
  }
  return text;
}

void showListing(Chooser &chooser) {
  size_t width = 0;
  const std::string where = shownName(chooser.folder.string(), &width);
  std::string header = "\n";
  header += translate("Open a file");
  header += "\n  " + formatText(translate("in %s"), where.c_str()) + "\n";
  for (size_t i = 0; i < chooser.filters.size(); ++i) {
    header += (i == chooser.filter ? "  [x] " : "  [ ] ") + chooser.filters[i].name + "\n";
  }
  size_t headerLines = 3 + chooser.filters.size();
  if (!chooser.folderError.empty()) {
    header += "  ";
    header += formatText(translate("(cannot read this folder: %s)"), chooser.folderError.c_str());
    header += "\n";
    ++headerLines;
  }
  const bool noFiles = std::none_of(chooser.entries.begin(), chooser.entries.end(),
                                    [](const ChooserEntry &entry) { return !entry.folder; });
  if (noFiles) {
    header += "  ";
    header += translate("(no matching files here)");
    header += "\n";
    ++headerLines;
  }
  say(chooser.terminal, header);
  writeAll(chooser.terminal, entryColumns(chooser, headerLines));
  if (chooser.pageCount > 1) {
    say(chooser.terminal,
        "  " +
            formatText(translate("page %d of %d: > next page, < previous page"),
                       static_cast<int>(chooser.page + 1), static_cast<int>(chooser.pageCount)) +
            "\n");
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

// "~" and "~/..." name the home folder, "~user/..." that user's.
std::string expandHome(const std::string &answer) {
  if (answer.empty() || answer[0] != '~') return answer;
  const size_t slash = answer.find('/');
  const std::string user =
      answer.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  const char *home = nullptr;
  if (user.empty()) {
    home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      const passwd *entry = getpwuid(getuid());
      home = entry ? entry->pw_dir : nullptr;
    }
  } else {
    const passwd *entry = getpwnam(user.c_str());
    home = entry ? entry->pw_dir : nullptr;
  }
  if (home == nullptr) return answer;
  return std::string(home) + (slash == std::string::npos ? "" : answer.substr(slash));
}

// Answers that name a folder by their form: they enter it rather than being refused.
bool namesAFolder(const std::string &answer) {
  if (answer == "." || answer == ".." || answer.back() == '/') return true;
  return answer[0] == '~' && answer.find('/') == std::string::npos;
}

// What an answer asks for: a file, another folder or filter (listed anew), another page, or
// nothing (refused, with the reason said).
enum class Answer { chosen, entered, paged, refused };

// Takes a path (relative to the chooser's folder): a folder named as one is entered, an existing
// file whose full path fits is chosen; anything else is refused with the reason said.
Answer takePath(Chooser &chooser, const std::string &answer, size_t maxLength, std::string &path) {
  std::filesystem::path chosen(expandHome(answer));
  if (chosen.is_relative()) chosen = chooser.folder / chosen;
  chosen = chosen.lexically_normal();
  if (!chosen.has_filename() && chosen != chosen.root_path()) chosen = chosen.parent_path();
  path = chosen.string();
  size_t width = 0;
  const std::string shown = shownName(path, &width);
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    say(chooser.terminal, formatText(translate("no such file: %s"), shown.c_str()) + "\n");
    return Answer::refused;
  }
  if (S_ISDIR(status.st_mode) && namesAFolder(answer)) {
    chooser.folder = chosen;
    return Answer::entered;
  }
  if (!S_ISREG(status.st_mode)) {
    const char *format =
        S_ISDIR(status.st_mode)
            ? translate("not a regular file: %s (a folder: end it with / to open it)")
            : translate("not a regular file: %s");
    say(chooser.terminal, formatText(format, shown.c_str()) + "\n");
    return Answer::refused;
  }
  if (path.size() > maxLength) {
    say(chooser.terminal, formatText(translate("the full path is longer than %d bytes"),
                                     static_cast<int>(maxLength)) +
                              "\n");
    return Answer::refused;
  }
  return Answer::chosen;
}

// A number from the listing: its file is chosen, its folder entered.
Answer takeNumber(Chooser &chooser, const std::string &answer, size_t maxLength,
                  std::string &path) {
  const size_t number = answer.size() < 10 ? std::stoul(answer) : 0;
  if (number < 1 || number > chooser.entries.size()) {
    say(chooser.terminal,
        formatText(translate("there is no number %s in the list"), answer.c_str()) + "\n");
    return Answer::refused;
  }
  const ChooserEntry &entry = chooser.entries[number - 1];
  if (entry.folder) {
    chooser.folder = (chooser.folder / entry.name).lexically_normal();
    if (!chooser.folder.has_filename() && chooser.folder != chooser.folder.root_path()) {
      chooser.folder = chooser.folder.parent_path();
    }
    return Answer::entered;
  }
  // "./" keeps a name that starts with '~' from being taken for a home folder.
  return takePath(chooser, "./" + entry.name, maxLength, path);
}

// Any answer but an empty line: a page, a filter's patterns, a number or a path.
Answer takeAnswer(Chooser &chooser, const std::string &answer, size_t maxLength,
                  std::string &path) {
  if (answer == ">" || answer == "<") {
    if (answer == ">" && chooser.page + 1 < chooser.pageCount) ++chooser.page;
    if (answer == "<" && chooser.page > 0) --chooser.page;
    return Answer::paged;
  }
  const auto filter =
      std::find_if(chooser.filters.begin(), chooser.filters.end(),
                   [&](const DialogFilter &candidate) { return candidate.patterns == answer; });
  if (filter != chooser.filters.end()) {
    chooser.filter = static_cast<size_t>(filter - chooser.filters.begin());
    return Answer::entered;
  }
  return answer.find_first_not_of("0123456789") == std::string::npos
             ? takeNumber(chooser, answer, maxLength, path)
             : takePath(chooser, answer, maxLength, path);
}

// Talks on the terminal only, so that standard output holds nothing but the program's text.
bool terminalChooseFile(const char *filter, size_t maxLength, std::string *chosen) {
  Chooser chooser;
  chooser.terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (chooser.terminal < 0) return false;
  std::error_code error;
  chooser.folder = std::filesystem::current_path(error);
  if (error) chooser.folder = "/";
  chooser.filters = parseDialogFilters(filter);
  std::string patterns;
  for (const DialogFilter &filter : chooser.filters) {
    patterns += (patterns.empty() ? "" : ", ") + filter.patterns;
  }
  const std::string prompt = formatText(translate("Number or path, %s to list, Enter to cancel: "),
                                        patterns.empty() ? "*.*" : patterns.c_str());

  Answer last = Answer::entered;
  std::string answer, path;
  for (;;) {
    if (last == Answer::entered) listFolder(chooser);
    if (last == Answer::entered || last == Answer::paged) showListing(chooser);
    say(chooser.terminal, prompt);
    if (!readLine(chooser.terminal, answer)) {
      say(chooser.terminal, "\n");  // end of input leaves the cursor behind the prompt
      break;
    }
    if (answer.empty()) break;
    last = takeAnswer(chooser, answer, maxLength, path);
    if (last == Answer::chosen) break;
  }
  close(chooser.terminal);
  if (last != Answer::chosen) return false;
  *chosen = path;
  return true;
}

}  // namespace

bool fileChooserAvailable() {
  const char *display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0') return true;
  const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0) return false;
  close(terminal);
  return true;
}

FileChoice chooseBitmapFile(std::size_t longestPath) {
  FileChoice choice{false, ""};
  switch (desktopChooseFile(kBitmapFilter, longestPath, &choice.path)) {
    case DesktopDialogResult::chosen:
      choice.chosen = true;
      return choice;
    case DesktopDialogResult::cancelled:
      return choice;
    case DesktopDialogResult::unavailable:
      break;
  }
  choice.chosen = terminalChooseFile(kBitmapFilter, longestPath, &choice.path);
  return choice;
}
