// Console text and single-key input: the console interface that the logic uses.
#pragma once

#include <string>

// Writes printf-formatted text to standard output at once, in the terminal's character set.
// The format is UTF-8; arguments are passed through unchanged; %f always prints a '.'.
void consolePrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The text as the console may show it: when standard output (or, for errors, standard error) is a
// terminal, each control character becomes '?', so that a file name cannot move the cursor or
// clear the screen; a file or a pipe gets the text unchanged.
std::string consoleShown(const char *text, bool onError = false);

// Writes one whole line and a newline, like puts.
void consolePuts(const char *line);

// Writes printf-formatted text to standard error, converted like console text: messages about
// the run itself, which stay out of the transcript on standard output.
void consoleErrorf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Called once at the end: when standard output is a terminal and the last text written there
// did not end its line, ends it, so that the shell's prompt starts on a line of its own. False,
// after a message on standard error, when standard output did not take every byte (a full disk,
// a closed descriptor): the run then ends with status 1, as GNU tools do.
bool consoleFinish();

// Called last, with the run's exit status. A failed run in a console window of its own (started
// from the desktop, which closes the window with the program) waits for a key, so that its
// message can be read; anywhere else it returns at once.
void consoleLinger(int status);

// Waits for one key press on the console, without echo and without Enter: the C runtime's own
// on Windows, the controlling terminal's on Linux.
// Function and cursor keys arrive as two successive codes (0 or 224, then the key's code).
// Returns -1 when no key can be read (no terminal, end of input, hang-up).
extern "C" int _getch();

// Passes on a key typed into one of the program's windows: a later _getch returns it, after the
// keys already waiting, as though it had been typed at the console. Any thread.
void queueWindowKey(int key);
