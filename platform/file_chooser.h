// Whether the program has a way to ask the user for a picture.
#pragma once

// True when a file chooser can be shown: the system's dialog, a display for the desktop's, or a
// terminal for the one in text. Main thread.
bool fileChooserAvailable();
