// Choosing a 24-bit BMP file, reading it into sourceView and listing its two headers.
#pragma once

#include <cstdio>

// The chosen file's full path; empty until a file is chosen.
extern char bitmapFilePath[256];

// Lets the user choose a file and reads it into sourceView. On failure a message has been
// printed, except when the dialog was cancelled (bitmapFilePath then stays empty).
bool readBitmapFile();

// Takes the named file as the chosen one: its full path into bitmapFilePath. False when the
// full path does not fit there.
bool setBitmapFilePath(const char *path);

// Reads the file named by bitmapFilePath into sourceView, listing it as readBitmapFile does.
bool readChosenBitmap();

// Reads and lists an opened BMP file (the path names it in messages) into sourceView.
bool readBitmapStream(std::FILE *file, const char *path);
