// Windows builds carry no catalogs yet: every message stays in its English source form.
#include "platform/translate.h"

void startTranslation() {}

const char *translate(const char *english) {
  return english;
}
