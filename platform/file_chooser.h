// Asking the user for a picture: the system's open dialog, the desktop's, or one in text.
#pragma once

#include <cstddef>
#include <string>

// The dialog's two filters, as pairs of a name and its patterns.
inline constexpr char kBitmapFilter[] = "BMPファイル(*.bmp)\0*.bmp\0すべてのファイル(*.*)\0*.*\0\0";

// What the user did: chose an existing file, with its full path, or cancelled.
struct FileChoice {
  bool chosen;
  std::string path;
};

// True when a file chooser can be shown: the system's dialog, a display for the desktop's, or a
// terminal for the one in text. Main thread.
bool fileChooserAvailable();

// Lets the user choose an existing file, the BMP filter first; a path longer than longestPath
// bytes is not taken. Main thread, before any other thread starts.
FileChoice chooseBitmapFile(std::size_t longestPath);
