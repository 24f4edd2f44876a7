// The open dialog's filter pairs and Windows-style name patterns, shared by both choosers.
#pragma once

#include <string>
#include <vector>

struct DialogFilter {
  std::string name;
  std::string patterns;  // Windows patterns separated by ';'
};

// The pairs of "name\0patterns\0...\0".
std::vector<DialogFilter> parseDialogFilters(const char *pairs);

// As on Windows: "*.*" takes every name, even one without a dot, and case does not matter.
bool matchesDialogPatterns(const char *name, const std::string &patterns);
