// Choosing a 24-bit BMP file, reading it into sourceView and listing its two headers.
#pragma once

#include <cstdio>

#include "common/bmp_headers.h"

// The chosen file's full path; empty until a file is chosen.
extern char bitmapFilePath[256];

// Lets the user choose a file and reads it into sourceView. On failure a message has been
// printed, except when the user cancelled the choice: *cancelled is then set.
bool readBitmapFile(bool *cancelled);

// Takes the named file as the chosen one: its full path into bitmapFilePath. False when the
// full path does not fit there.
bool setBitmapFilePath(const char *path);

// Reads the file named by bitmapFilePath into sourceView, listing it as readBitmapFile does.
bool readChosenBitmap();

// Lists the information header's title and its first five fields, as both headers start.
void listInfoHeaderStart(const BmpInfoHeader &header);

// Reads and lists an opened BMP file (the path names it in messages) into sourceView.
bool readBitmapStream(std::FILE *file, const char *path);
