// Sending 24-bit rows to the X server: converted into the server's pixel format a strip at a
// time, through shared memory (MIT-SHM) when the server is on this machine.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

// What the rows go to, and how the server takes them. Display thread only.
struct ImageTarget {
  Display *display;
  Visual *visual;
  int depth;
  GC gc;
  Drawable drawable;
  std::atomic<int> *errorCode;    // set by the connection's error handler
  const std::atomic<bool> *lost;  // set once the server is gone
};

// The rows of an image, bottom-up, and the lock held while they are read (null: none needed).
struct ImageRows {
  const std::uint8_t *const *pixels;
  std::size_t rowBytes;
  int width;
  int height;
  std::mutex *lock;
};

// Sends the whole image to the target's (0, 0), top row first. The lock is held only while a
// strip's rows are converted, never while waiting for the server. False when the server is lost,
// memory is short, or stop() says so between strips. Display thread only.
bool sendImageRows(const ImageTarget &target, const ImageRows &rows, bool (*stop)());

// Whether images went through shared memory; a server that refuses it is not asked again.
bool imagesShared();

// Gives back the strip (the server's side too, unless it is lost). Display thread only.
void releaseImageStrip(Display *display, bool serverLost);
