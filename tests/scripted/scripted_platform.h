// The scripted platform backend for unit tests: console text into a string, keys from a queue,
// a dialog that answers with a set path, and no window system.
#pragma once

#include <deque>
#include <string>

// Everything consolePrintf and consolePuts wrote, as UTF-8.
extern std::string scriptedOutput;
// Keys that _getch returns in turn; -1 once empty.
extern std::deque<int> scriptedKeys;
// The path the file dialog picks; an empty path cancels the dialog.
extern std::string scriptedChosenPath;

// Clears the output, the keys and the chosen path.
void resetScriptedPlatform();
