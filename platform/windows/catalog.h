// The message catalogs compiled into the Windows program, sorted by their English text.
#pragma once

struct CatalogEntry {
  const char *english;
  const char *translated;
};

extern const CatalogEntry kCatalog_ja[];
extern const int kCatalogSize_ja;
