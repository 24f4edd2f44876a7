// Console text on standard output, converted to the terminal's character set and flushed at once.
#include "platform/console.h"

#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/format_text.h"
#include "platform/linux/terminal_text.h"

namespace {

// Only the character set is taken from the environment: LC_NUMERIC stays "C" so %f prints '.'.
iconv_t openConverter() {
  std::setlocale(LC_CTYPE, "");
  const char *codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0 ||
      std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "ASCII") == 0) {
    return reinterpret_cast<iconv_t>(-1);
  }
  return iconv_open(codeset, "UTF-8");
}

}  // namespace

std::string toTerminalText(const char *utf8) {
  static std::mutex lock;
  static const iconv_t converter = openConverter();
  std::string text(utf8);
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;

  std::lock_guard<std::mutex> guard(lock);
  std::vector<char> out(text.size() * 4 + 16);
  char *in = text.data();
  size_t inLeft = text.size();
  char *outPointer = out.data();
  size_t outLeft = out.size();
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  // A byte that is not UTF-8 (a file name in the locale's own bytes) or a character the
  // character set lacks goes through as it is, and the rest is still converted.
  while (inLeft > 0 &&
         iconv(converter, &in, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1)) {
    if (errno != EILSEQ && errno != EINVAL) return text;
    *outPointer++ = *in++;
    --outLeft;
    --inLeft;
  }
  iconv(converter, nullptr, nullptr, &outPointer, &outLeft);
  return std::string(out.data(), outPointer);
}

namespace {

// The last byte written to standard output; -1 before the first.
int lastOutputByte = -1;
// The first failure to write standard output, or 0.
int outputError = 0;

void writeOutput(const std::string &text) {
  if (text.empty()) return;
  errno = 0;
  if ((std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
       std::fflush(stdout) != 0) &&
      outputError == 0) {
    outputError = errno != 0 ? errno : EIO;
  }
  lastOutputByte = static_cast<unsigned char>(text.back());
}

// The whole text is converted after formatting, so that texts passed as arguments (the prompt
// among them) reach the terminal in its character set like the format's own.
std::string terminalFormatted(const char *format, va_list arguments) {
  return toTerminalText(formatTextV(format, arguments).c_str());
}

}  // namespace

void consolePrintf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  writeOutput(terminalFormatted(format, arguments));
  va_end(arguments);
}

void consolePuts(const char *line) {
  writeOutput(toTerminalText(line) + '\n');
}

void consoleErrorf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = terminalFormatted(format, arguments);
  va_end(arguments);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string consoleShown(const char *text, bool onError) {
  return isatty(onError ? STDERR_FILENO : STDOUT_FILENO) ? withoutControls(text) : text;
}

// A file or a pipe keeps the transcript byte for byte.
bool consoleFinish() {
  if (lastOutputByte != -1 && lastOutputByte != '\n' && isatty(STDOUT_FILENO)) writeOutput("\n");
  if (outputError == 0) return true;
  consoleErrorf("bmpspectrum: write error: %s\n", std::strerror(outputError));
  return false;
}

namespace {

// Past a file size limit (ulimit -f) a write fails with EFBIG and is reported like any other
// write error, instead of the signal ending the program without a word.
const bool fileSizeLimitFailsWrites = [] {
  std::signal(SIGXFSZ, SIG_IGN);
  return true;
}();

}  // namespace

// A terminal stays open after the program: nothing to wait for.
void consoleLinger(int) {}
