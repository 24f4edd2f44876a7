// The two windows the program shows, in its own words: one backend per system (Xlib on Linux,
// the Win32 API on Windows, none in unit tests), chosen at link time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

// Which of the two windows.
enum class ShownWindow { picture, spectrum };

// What a window shows: bottom-up rows of blue, green, red bytes, read at every paint.
struct WindowImage {
  const char *title;  // UTF-8; read only while openWindows runs
  int width;          // 1 .. kLargestWindowSide
  int height;         // 1 .. kLargestWindowSide
  std::size_t rowBytes;
  const std::uint8_t *const *pixels;  // where the rows' address is kept
  std::mutex *lock;                   // held while rows are read; null when they never change
};

// The largest side any window system here can show (X sizes and positions are 16-bit).
constexpr int kLargestWindowSide = 32767;

// What the windows report, on the display thread.
struct WindowEvent {
  enum Kind { typed, pointer, pointerLeft, closed } kind;
  ShownWindow window;
  int key;   // typed: the character
  int x, y;  // pointer: the pixel under it, from the top-left of the image
};
using WindowEventHandler = void (*)(const WindowEvent &event);

// Opens the display and shows the spectrum window beside the picture window (or alone when
// picture is null), each the size of its image, fixed, with its title; returns once both are on
// the screen or could not be. False, after one line on standard error, when no window can be
// shown. Events go to onEvent (may be null). Main thread, once.
bool openWindows(const WindowImage *picture, const WindowImage &spectrum,
                 WindowEventHandler onEvent);

// Gives a window a new title (UTF-8); returns at once, and the window shows it soon after. Any
// thread.
void setWindowTitle(ShownWindow window, const char *title);

// Asks for a window to be painted again from its image; returns at once. Any thread.
void repaintWindow(ShownWindow window);

// Closes both windows; returns once they are gone, or after about a second when the window
// system does not answer. Later calls do nothing. Any thread.
void closeWindows();
