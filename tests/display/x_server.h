// A private Xvfb server for a test, and a second connection that looks at what it shows.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/dib_row.h"

// The length of a row of a picture whose rows are padded to 4 bytes, as a BMP file's are.
inline std::size_t paddedStride(int width) {
  return static_cast<std::size_t>(dibRowBytes(static_cast<std::uint64_t>(width)));
}

struct XvfbServer {
  pid_t pid = -1;
  std::string name;  // ":N"
};

// Starts Xvfb on a free display number with one screen of the given depth and size, offering
// shared memory images (MIT-SHM) or not; false on failure.
bool startXvfb(XvfbServer &server, int depth = 24, bool sharedMemory = true, int width = 1024,
               int height = 768);
// Ends the server (SIGTERM, or SIGKILL to make it vanish abruptly) and reaps it.
void stopXvfb(XvfbServer &server, bool abruptly = false);
// Freezes the server (SIGSTOP) so that it answers nothing, or lets it go on (SIGCONT).
void freezeXvfb(XvfbServer &server, bool frozen);

// Everything the tests check about one top-level window.
struct TopWindow {
  unsigned long id = 0;
  bool viewable = false;
  int x = 0, y = 0;  // on the screen
  int width = 0, height = 0;
  std::string netWmName, netWmNameType;
  std::string wmName, wmNameType;
  std::string resName, resClass;
  long sizeHintFlags = 0;
  int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
  std::vector<long> motifHints;
  bool acceptsDelete = false;
  bool takesKeyboard = true;  // WM_HINTS input
};

struct Probe;
struct ProbeCloser {
  void operator()(Probe *probe) const;
};
using ProbeHandle = std::unique_ptr<Probe, ProbeCloser>;

// A connection of its own to the server; null when it cannot connect.
ProbeHandle openProbe(const std::string &displayName);
// Top-level windows with a WM_CLASS, bottom of the stack first.
std::vector<TopWindow> topWindows(Probe &probe);
bool windowExists(Probe &probe, unsigned long id);
void moveWindow(Probe &probe, unsigned long id, int x, int y);
// Pixel values of the window's area, row by row from the top; empty when it cannot be read.
std::vector<std::uint32_t> readPixels(Probe &probe, unsigned long id, int width, int height);
// Paints the window black from outside and has the server ask its owner to repaint it.
void scribbleAndExpose(Probe &probe, unsigned long id, int width, int height);
// Covers the window with a black one of the probe's own, then takes that away again.
void coverAndUncover(Probe &probe, unsigned long id);
// What a window manager sends when the user closes a window.
void sendDeleteWindow(Probe &probe, unsigned long id);
// Moves the pointer to a point of the screen, as a user's mouse would.
void warpPointer(Probe &probe, int x, int y);
// A pixel value of the server's default visual, from 8-bit colour components.
std::uint32_t pixelOf(Probe &probe, unsigned red, unsigned green, unsigned blue);
// Colours that differ in every channel from pixel to pixel, so swapped channels, flipped rows
// and wrong strides all show: pixel (x, y) of pattern seed, as blue, green and red bytes.
void colourAt(int x, int y, int seed, std::uint8_t *bgr);
// Pixel values of a bottom-up 24-bit image with the given row length, top row first: what a
// window showing it reads back as.
std::vector<std::uint32_t> imagePixels(Probe &probe, const std::uint8_t *pixels, int width,
                                       int height, size_t stride);

// Ends the test process once the limit has passed: a hung X call must fail its test, not stall
// the whole run.
void startWatchdog(std::chrono::seconds limit);

// Polls the condition until it holds or the time is up; true when it held.
bool waitFor(const std::function<bool()> &condition,
             std::chrono::milliseconds limit = std::chrono::milliseconds(10000));

// Runs a shell script beside the test, in a process group of its own; returns its process, or -1.
pid_t runBeside(const std::string &script);
// Waits for that process and gives its exit status; -1 when a signal ended it, or when the watched
// process (the program it serves) ended first or the time ran out, and the script was ended.
int waitExit(pid_t pid, pid_t watched = -1,
             std::chrono::milliseconds limit = std::chrono::milliseconds(30000));
// Script steps that define `within SECONDS COMMAND...`, which runs the command every 50 ms until
// it succeeds (false when the time runs out), and `selection_holds NAME TEXT`, true when the X
// selection NAME (primary, clipboard) holds exactly the text, and `focus WINDOW`, which gives the
// window the keyboard and waits until it has it (10 s at most).
std::string pollingSteps();
// Script steps: wait until the given process, or a child of it (where the program shows its
// dialog), shows a window, and give it the keyboard; $id is the window, $dialog its process. The
// steps after them may use those of pollingSteps, and `dialog_gone`, true once that window is no
// longer shown.
std::string findDialog(pid_t owner);
// Script: in the process's open dialog, type each path into the location entry, with Return.
std::string typePaths(pid_t owner, const std::vector<std::string> &paths);
