// Translation through gettext, with the catalogs beside the program: <its folder>/locale, or
// <its folder>/../share/locale once installed.
#include "platform/translate.h"

#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <string>

namespace {

constexpr char kDomain[] = "bmpspectrum";

std::string catalogFolder() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "/usr/share/locale";
  const std::string program(path, static_cast<size_t>(length));
  const std::string folder = program.substr(0, program.rfind('/'));
  struct stat status;
  if (stat((folder + "/locale").c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    return folder + "/locale";
  }
  return folder + "/../share/locale";
}

}  // namespace

void startTranslation() {
  // Only the messages' language: numbers keep LC_NUMERIC "C", so %f prints '.'.
  std::setlocale(LC_MESSAGES, "");
  bindtextdomain(kDomain, catalogFolder().c_str());
  // The console converts every text from UTF-8 to the terminal's character set.
  bind_textdomain_codeset(kDomain, "UTF-8");
}

const char *translate(const char *english) {
  return dgettext(kDomain, english);
}
