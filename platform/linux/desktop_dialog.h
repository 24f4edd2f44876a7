// The desktop's graphical open dialog, tried before the terminal chooser.
#pragma once

#include <cstddef>
#include <string>

enum class DesktopDialogResult { chosen, cancelled, unavailable };

// Shows the desktop's open dialog when a display can be opened, offering the filter pairs
// ("name\0patterns\0...\0\0") with the first selected. A choice is taken only when it is an
// existing file whose path is at most longestPath bytes; it goes to *path. Main thread, before
// any other thread starts (the dialog's process is forked).
DesktopDialogResult desktopChooseFile(const char *filter, std::size_t longestPath,
                                      std::string *path);
