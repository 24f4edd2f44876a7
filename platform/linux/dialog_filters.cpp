// Parsing the open dialog's filter pairs and matching names against their patterns.
#include "platform/linux/dialog_filters.h"

#include <fnmatch.h>

std::vector<DialogFilter> parseDialogFilters(const char *pairs) {
  std::vector<DialogFilter> filters;
  while (pairs != nullptr && *pairs != '\0') {
    DialogFilter filter;
    filter.name = pairs;
    pairs += filter.name.size() + 1;
    filter.patterns = pairs;
    pairs += filter.patterns.size() + 1;
    filters.push_back(filter);
  }
  return filters;
}

bool matchesDialogPatterns(const char *name, const std::string &patterns) {
  size_t start = 0;
  while (start <= patterns.size()) {
    size_t end = patterns.find(';', start);
    if (end == std::string::npos) end = patterns.size();
    const std::string pattern = patterns.substr(start, end - start);
    if (pattern == "*.*" || pattern == "*") return true;
    if (!pattern.empty() && fnmatch(pattern.c_str(), name, FNM_CASEFOLD) == 0) return true;
    start = end + 1;
  }
  return false;
}
