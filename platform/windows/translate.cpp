// The program's messages in the user's language: the catalogs are compiled into the exe, and the
// language is the user's interface language, or the one LANG, LC_ALL or LC_MESSAGES names.
#include "platform/translate.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/windows/catalog.h"
#include "win32.h"

namespace {

const CatalogEntry *catalog = nullptr;
int catalogSize = 0;

// The language the environment names, as a POSIX program would read it; null when none does.
const char *environmentLanguage() {
  for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char *value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return nullptr;
}

}  // namespace

void startTranslation() {
  const char *language = environmentLanguage();
  const bool japanese = language != nullptr
                            ? std::strncmp(language, "ja", 2) == 0
                            : PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
  if (japanese) {
    catalog = kCatalog_ja;
    catalogSize = kCatalogSize_ja;
  }
}

const char *translate(const char *english) {
  // The catalog is sorted by its English texts, byte by byte.
  int low = 0, high = catalogSize;
  while (low < high) {
    const int middle = (low + high) / 2;
    const int order = std::strcmp(catalog[middle].english, english);
    if (order == 0) return catalog[middle].translated;
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return english;
}
