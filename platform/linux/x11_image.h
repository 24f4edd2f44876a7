// Sending 24-bit rows to the X server: converted into the server's pixel format a band at a
// time, through shared memory (MIT-SHM) when the server is on this machine; rows that did not
// change since the last send are not sent again.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

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
  // The drawable keeps what it is given (a pixmap): rows it already holds need not go again.
  bool keeps;
  // The window the drawable stands behind, given each band first, or 0.
  Drawable shownIn;
  std::atomic<int> *errorCode;    // set by the connection's error handler
  const std::atomic<bool> *lost;  // set once the server is gone
  bool *shareRefused;             // set when the server cannot attach shared memory (a remote
                                  // one): images are put instead, on this connection
};

// The rows of an image, bottom-up, and the lock held while they are read (null: none needed).
struct ImageRows {
  const std::uint8_t *const *pixels;
  std::size_t rowBytes;
  int width;
  int height;
  std::mutex *lock;
};

// The rows in the server's pixel format, kept from one send to the next for one drawable: the
// whole image when it fits, so that each row can be compared with what the drawable was given;
// otherwise a ring of bands that the server reads while the next is converted.
struct SentRows {
  char *memory = nullptr;
  XShmSegmentInfo segment{};  // the memory, attached by the server, when shared is set
  bool shared = false;
  XImage *image = nullptr;  // over memory: the image's width, rows rows
  int width = 0;            // of the image the memory was made for
  int height = 0;
  int rows = 0;          // rows the memory holds: height, or fewer for a ring
  bool current = false;  // the memory holds every row as the drawable was last given it
};

// Sends the image's rows to the target's (0, 0): of a drawable that keeps them only the rows
// that differ from the last send, else all; top row first, a band at a time, each band put
// without waiting for the one before (a round trip only where a ring is written over). The lock is
// held only while a band's rows are converted, never while the server is sent anything or waited
// for. False when the server is lost, memory is short, or stop() says so between bands. Display
// thread only.
bool sendImageRows(const ImageTarget &target, const ImageRows &rows, SentRows &sent,
                   bool (*stop)());

// Makes the memory for the rows, and says whether it keeps them whole (they fit), so that an
// uncovered part can be put again from it. Display thread only.
bool keepsWhole(const ImageTarget &target, const ImageRows &rows, SentRows &sent);

// Puts an area of the rows last sent to the target again, from the memory; false when it does not
// hold them all (nothing sent yet, a ring, a send cut short). Display thread only.
bool resendArea(const ImageTarget &target, const SentRows &sent, int x, int y, int width,
                int height);

// Gives back the rows' memory (the server's side too, unless it is lost); the next send sends
// every row. Display thread only.
void releaseSentRows(Display *display, SentRows &sent, bool serverLost);
