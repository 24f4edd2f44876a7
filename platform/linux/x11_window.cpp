// The two windows over plain Xlib: the main thread opens them, then one display thread owns the
// connection; other threads only set a flag and wake it through an eventfd.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/console.h"
#include "platform/linux/x11_image.h"
#include "platform/translate.h"
#include "platform/window_placement.h"
#include "platform/window_system.h"

namespace {

// One of the two windows, as the display thread keeps it.
struct XWindow {
  Window id = 0;
  WindowImage image{};
  bool alive = false;
  bool paintWanted = false;
  // The window's contents, kept by the server for an image that never changes or is too large to
  // keep here: paints go here and are copied to the window, and an uncovered part is copied back
  // from here without a paint. None when the server refused one (paints then go straight to the
  // window); painted once it holds the image.
  Pixmap pixmap = 0;
  bool pixmapRefused = false;
  bool painted = false;
  // The rows as they were last sent; an image that changes, kept here whole, is put straight into
  // the window, and an uncovered part is put again from here without a paint.
  SentRows sent;
  std::atomic<bool> repaintAsked{false};  // set by any thread
  std::string askedTitle;                 // guarded by the display's lock
  bool titleAsked = false;                // guarded by the display's lock
};

// The connection and the windows. After openWindows, only the display thread touches the
// connection; the atomics and the lock-guarded fields are how other threads reach it.
struct XDisplay {
  Display *display = nullptr;
  Visual *visual = nullptr;
  int depth = 0;
  Colormap colormap = 0;
  GC gc = nullptr;
  Atom wmProtocols = 0, wmDeleteWindow = 0, netWmName = 0, netWmIconName = 0, utf8String = 0,
       motifWmHints = 0;
  int wakeFd = -1;
  std::array<XWindow, 2> windows;
  WindowEventHandler onEvent = nullptr;
  std::atomic<bool> running{false};  // the display thread was started
  // Written by the error handlers, which run on whichever thread made the failing call.
  std::atomic<bool> lost{false};
  std::atomic<int> lastErrorCode{0};
  bool shareRefused = false;  // the server cannot attach shared memory
  std::atomic<bool> closeAsked{false};
  std::mutex lock;
  std::condition_variable closedChanged;
  bool closed = false;  // guarded by lock: both windows are gone, or the loop has ended
};

// Never destroyed: the display thread may still be running while the process exits.
XDisplay &x = *new XDisplay;
constexpr std::chrono::seconds kClosePatience{1};

XWindow &windowOf(ShownWindow which) {
  return x.windows[which == ShownWindow::picture ? 0 : 1];
}

ShownWindow whichIs(const XWindow &window) {
  return &window == &x.windows[0] ? ShownWindow::picture : ShownWindow::spectrum;
}

// Races such as painting a window just closed from outside give BadWindow; none is fatal here.
int onXError(Display *, XErrorEvent *error) {
  x.lastErrorCode.store(error->error_code);
  return 0;
}

// A lost server must not end the program: note it, and return so the display thread can end.
int onIoError(Display *server) {
  if (server == x.display) x.lost.store(true);
  return 0;
}
void onIoErrorExit(Display *, void *) {}

bool lost() {
  return x.lost.load();
}

void wake() {
  const std::uint64_t one = 1;
  while (write(x.wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void report(WindowEvent::Kind kind, const XWindow &window, int key = 0, int px = 0, int py = 0) {
  if (x.onEvent) x.onEvent(WindowEvent{kind, whichIs(window), key, px, py});
}

bool chooseVisual() {
  const int screen = DefaultScreen(x.display);
  if (DefaultVisual(x.display, screen)->c_class == TrueColor) {
    x.visual = DefaultVisual(x.display, screen);
    x.depth = DefaultDepth(x.display, screen);
    x.colormap = DefaultColormap(x.display, screen);
    return true;
  }
  // Colour images need a true-colour visual; a server without one gets no windows.
  XVisualInfo info;
  for (int wanted : {24, 16, 15, 8}) {
    if (XMatchVisualInfo(x.display, screen, wanted, TrueColor, &info)) {
      x.visual = info.visual;
      x.depth = info.depth;
      x.colormap = XCreateColormap(x.display, RootWindow(x.display, screen), x.visual, AllocNone);
      return true;
    }
  }
  return false;
}

// Says once, on standard error, why no window can be shown; the console goes on without them.
bool openConnection() {
  const char *name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    consoleErrorf("%s", translate("bmpspectrum: no windows: DISPLAY is not set\n"));
    return false;
  }
  x.display = XOpenDisplay(nullptr);
  if (!x.display) {
    consoleErrorf(translate("bmpspectrum: no windows: cannot open display %s\n"), name);
    return false;
  }
  x.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (x.wakeFd < 0) {
    consoleErrorf(translate("bmpspectrum: no windows: %s\n"), std::strerror(errno));
  } else if (!chooseVisual()) {
    consoleErrorf(translate("bmpspectrum: no windows: display %s has no true-colour visual\n"),
                  name);
  }
  if (x.wakeFd < 0 || !x.visual) {
    if (x.wakeFd >= 0) close(x.wakeFd);
    x.wakeFd = -1;
    XCloseDisplay(x.display);
    x.display = nullptr;
    return false;
  }
  const char *names[] = {"WM_PROTOCOLS",      "WM_DELETE_WINDOW", "_NET_WM_NAME",
                         "_NET_WM_ICON_NAME", "UTF8_STRING",      "_MOTIF_WM_HINTS"};
  Atom atoms[6];
  XInternAtoms(x.display, const_cast<char **>(names), 6, False, atoms);
  x.wmProtocols = atoms[0];
  x.wmDeleteWindow = atoms[1];
  x.netWmName = atoms[2];
  x.netWmIconName = atoms[3];
  x.utf8String = atoms[4];
  x.motifWmHints = atoms[5];
  // Installed here, after any GTK dialog is gone, so GTK's exiting handlers no longer apply.
  XSetErrorHandler(onXError);
  XSetIOErrorHandler(onIoError);
  XSetIOErrorExitHandler(x.display, onIoErrorExit, nullptr);
  return true;
}

// The title as desktops read it today: UTF-8 in _NET_WM_NAME and _NET_WM_ICON_NAME.
void setNetTitle(Window id, const std::string &text) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.c_str());
  const int length = static_cast<int>(text.size());
  XChangeProperty(x.display, id, x.netWmName, x.utf8String, 8, PropModeReplace, bytes, length);
  XChangeProperty(x.display, id, x.netWmIconName, x.utf8String, 8, PropModeReplace, bytes, length);
}

// A later title: the old WM_NAME too, for window managers that read only that.
void retitle(Window id, const std::string &text) {
  XChangeProperty(x.display, id, XA_WM_NAME, x.utf8String, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(text.c_str()),
                  static_cast<int>(text.size()));
  setNetTitle(id, text);
  XFlush(x.display);
}

void setTitleAndHints(Window id, const char *title, int width, int height, bool placed) {
  const std::string text = title ? title : "";
  XTextProperty name;
  name.value = reinterpret_cast<unsigned char *>(const_cast<char *>(text.c_str()));
  name.encoding = x.utf8String;
  name.format = 8;
  name.nitems = text.size();

  XSizeHints size{};
  size.flags = PSize | PMinSize | PMaxSize | (placed ? USPosition : 0);
  size.width = size.min_width = size.max_width = width;
  size.height = size.min_height = size.max_height = height;

  XWMHints wm{};
  // Keys typed into a window act as typed at the console: the windows take the keyboard when
  // the user gives it to them.
  wm.flags = InputHint | StateHint;
  wm.input = True;
  wm.initial_state = NormalState;

  std::string instanceName = program_invocation_short_name;
  std::string className = "GRC0";
  XClassHint classHint;
  classHint.res_name = instanceName.data();
  classHint.res_class = className.data();

  XSetWMProperties(x.display, id, &name, &name, nullptr, 0, &size, &wm, &classHint);
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.c_str());
  const int length = static_cast<int>(text.size());
  XChangeProperty(x.display, id, x.netWmName, x.utf8String, 8, PropModeReplace, bytes, length);
  XChangeProperty(x.display, id, x.netWmIconName, x.utf8String, 8, PropModeReplace, bytes, length);

  // Motif hints: may be moved; border and title, no buttons and no resize handles.
  constexpr long kFunctionsAndDecorations = 1 | 2;
  constexpr long kFunctionMove = 4;
  constexpr long kDecorBorderAndTitle = 2 | 8;
  const long motif[5] = {kFunctionsAndDecorations, kFunctionMove, kDecorBorderAndTitle, 0, 0};
  XChangeProperty(x.display, id, x.motifWmHints, x.motifWmHints, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(motif), 5);
  XSetWMProtocols(x.display, id, &x.wmDeleteWindow, 1);
}

// Creates and maps one window at (left, top), or where the system likes without a place; false
// when the server refuses it.
bool createWindow(XWindow &window, const WindowImage &image, const int *place) {
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;  // painting covers the whole window; no erase
  attributes.border_pixel = 0;
  attributes.colormap = x.colormap;
  attributes.event_mask = ExposureMask | StructureNotifyMask;
  if (x.onEvent) attributes.event_mask |= KeyPressMask | PointerMotionMask | LeaveWindowMask;
  x.lastErrorCode.store(0);
  const Window id = XCreateWindow(
      x.display, DefaultRootWindow(x.display), place ? place[0] : 0, place ? place[1] : 0,
      static_cast<unsigned>(image.width), static_cast<unsigned>(image.height), 0, x.depth,
      InputOutput, x.visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  setTitleAndHints(id, image.title, image.width, image.height, place != nullptr);
  if (!x.gc) {
    // Copies come from pixmaps, always whole: no GraphicsExpose or NoExpose events for them.
    XGCValues values{};
    values.graphics_exposures = False;
    x.gc = XCreateGC(x.display, id, GCGraphicsExposures, &values);
  }
  XSync(x.display, False);
  if (lost()) return false;
  if (x.lastErrorCode.load() != 0) {
    XDestroyWindow(x.display, id);
    return false;
  }
  window.id = id;
  window.image = image;
  window.alive = true;
  window.paintWanted = true;
  XMapWindow(x.display, id);
  return true;
}

void freePixmap(XWindow &window) {
  if (window.pixmap && !lost()) XFreePixmap(x.display, window.pixmap);
  window.pixmap = 0;
  window.painted = false;
  releaseSentRows(x.display, window.sent, lost());
}

// The window goes: its pixmap with it. Other clients and the loop's end may both ask.
void forget(XWindow &window) {
  if (!window.alive) return;
  window.alive = false;
  window.paintWanted = false;
  freePixmap(window);
  report(WindowEvent::closed, window);
}

void destroyWindow(XWindow &window) {
  if (!window.alive) return;
  const Window id = window.id;
  forget(window);
  if (!lost()) XDestroyWindow(x.display, id);
}

// The window's pixmap, made at its first paint; a server that refuses one leaves paints to go
// straight to the window, which is then asked to paint again whenever it is uncovered.
void ensurePixmap(XWindow &window) {
  if (window.pixmap || window.pixmapRefused) return;
  x.lastErrorCode.store(0);
  const Pixmap pixmap =
      XCreatePixmap(x.display, window.id, static_cast<unsigned>(window.image.width),
                    static_cast<unsigned>(window.image.height), static_cast<unsigned>(x.depth));
  XSync(x.display, False);
  if (lost()) return;
  if (x.lastErrorCode.load() != 0) {
    window.pixmapRefused = true;
  } else {
    window.pixmap = pixmap;
  }
}

bool closeWasAsked() {
  return x.closeAsked.load();
}

// Where a window's rows go: its pixmap, when it has one, standing behind the window.
ImageTarget targetOf(const XWindow &window, bool keptHere) {
  return ImageTarget{x.display,
                     x.visual,
                     x.depth,
                     x.gc,
                     window.pixmap ? window.pixmap : window.id,
                     window.pixmap != 0 || keptHere,
                     window.pixmap ? window.id : 0,
                     &x.lastErrorCode,
                     &x.lost,
                     &x.shareRefused};
}

// Sends the rows that changed to the window, a band at a time, and then into the pixmap if the
// window has one. An image that changes and fits is kept here whole, and needs none: the server
// then copies each repaint once, not twice.
void paint(XWindow &window) {
  window.paintWanted = false;
  const WindowImage &image = window.image;
  const ImageRows rows{image.pixels, image.rowBytes, image.width, image.height, image.lock};
  const bool keptHere =
      !window.pixmap && image.lock && keepsWhole(targetOf(window, true), rows, window.sent);
  if (!keptHere) ensurePixmap(window);
  if (lost()) return;
  const bool sent = sendImageRows(targetOf(window, keptHere), rows, window.sent, closeWasAsked);
  // Rows that never change are not kept once sent.
  if (!image.lock) releaseSentRows(x.display, window.sent, lost());
  if (!sent) return;
  if (window.pixmap) window.painted = true;
}

XWindow *windowWithId(Window id) {
  for (XWindow &window : x.windows) {
    if (window.alive && window.id == id) return &window;
  }
  return nullptr;
}

void handleEvent(XEvent &event) {
  XWindow *window = windowWithId(event.xany.window);
  if (!window) return;
  switch (event.type) {
    case Expose: {
      // An uncovered part is copied from the pixmap or put again from the rows kept here, as a
      // compositing desktop would show it.
      const XExposeEvent &area = event.xexpose;
      if (window->painted) {
        XCopyArea(x.display, window->pixmap, window->id, x.gc, area.x, area.y,
                  static_cast<unsigned>(area.width), static_cast<unsigned>(area.height), area.x,
                  area.y);
      } else if (window->pixmap || !resendArea(targetOf(*window, true), window->sent, area.x,
                                               area.y, area.width, area.height)) {
        window->paintWanted = true;
      }
      break;
    }
    case ClientMessage:
      // The window manager's close button: this window goes, the other stays.
      if (event.xclient.message_type == x.wmProtocols && event.xclient.format == 32 &&
          static_cast<Atom>(event.xclient.data.l[0]) == x.wmDeleteWindow) {
        destroyWindow(*window);
      }
      break;
    case DestroyNotify:
      // Another client destroyed it (our own destroy forgets the window first).
      forget(*window);
      break;
    case KeyPress: {
      char text[8];
      KeySym symbol;
      if (XLookupString(&event.xkey, text, sizeof text, &symbol, nullptr) == 1) {
        report(WindowEvent::typed, *window, static_cast<unsigned char>(text[0]));
      }
      break;
    }
    case MotionNotify:
      report(WindowEvent::pointer, *window, 0, event.xmotion.x, event.xmotion.y);
      break;
    case LeaveNotify:
      report(WindowEvent::pointerLeft, *window);
      break;
    default:
      break;
  }
}

// Waits for the server or a wake-up; notices a server that went away without Xlib's help, whose
// I/O error path after a returning exit handler unlocks its display lock twice.
void waitForWork() {
  pollfd sources[2] = {{ConnectionNumber(x.display), POLLIN, 0}, {x.wakeFd, POLLIN, 0}};
  if (poll(sources, 2, -1) < 0) return;
  char next;
  if ((sources[0].revents & (POLLIN | POLLHUP | POLLERR)) &&
      recv(sources[0].fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
    x.lost.store(true);
  }
  if (sources[1].revents & POLLIN) {
    std::uint64_t count;
    while (read(x.wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
  }
}

void markClosed() {
  std::lock_guard<std::mutex> guard(x.lock);
  x.closed = true;
  x.closedChanged.notify_all();
}

void displayLoop() {
  // A server that vanishes turns this thread's next write into SIGPIPE, which would end the whole
  // program; blocked, it is a failed write that Xlib reports as a lost connection.
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

  while (!lost()) {
    while (!lost() && XPending(x.display) > 0) {
      XEvent event;
      XNextEvent(x.display, &event);
      handleEvent(event);
    }
    if (lost()) break;
    if (closeWasAsked()) {
      for (XWindow &window : x.windows) destroyWindow(window);
      XSync(x.display, False);
      break;
    }
    for (XWindow &window : x.windows) {
      std::string title;
      bool titled = false;
      {
        std::lock_guard<std::mutex> guard(x.lock);
        titled = window.titleAsked;
        window.titleAsked = false;
        if (titled) title.swap(window.askedTitle);
      }
      if (titled && window.alive) retitle(window.id, title);
      if (window.repaintAsked.exchange(false) && window.alive) window.paintWanted = true;
      if (window.paintWanted && window.alive && !lost()) paint(window);
    }
    // Events read while painting would otherwise wait in Xlib's queue unseen.
    if (lost() || XPending(x.display) > 0) continue;
    waitForWork();
  }
  if (lost() && !closeWasAsked()) {
    consoleErrorf("%s", translate("bmpspectrum: the display went away; the windows are gone\n"));
  }
  for (XWindow &window : x.windows) forget(window);
  markClosed();
}

// Whether windows may be opened: the first time, or once the windows of the last time are closed
// and their loop has ended (a loop stuck on a frozen server keeps its connection). The ended
// loop's connection is closed, unless its server is gone.
bool readyToOpen() {
  if (!x.running) return x.display == nullptr;
  {
    std::lock_guard<std::mutex> guard(x.lock);
    if (!x.closed) return false;
    x.closed = false;
  }
  if (!lost()) XCloseDisplay(x.display);
  close(x.wakeFd);
  x.display = nullptr;
  x.visual = nullptr;
  x.gc = nullptr;
  x.wakeFd = -1;
  for (XWindow &window : x.windows) {
    window.id = 0;
    window.pixmap = 0;
    window.pixmapRefused = window.painted = window.paintWanted = window.alive = false;
    window.repaintAsked.store(false);
    std::lock_guard<std::mutex> guard(x.lock);
    window.askedTitle.clear();
    window.titleAsked = false;
  }
  x.running.store(false);
  x.shareRefused = false;
  x.lost.store(false);
  x.closeAsked.store(false);
  return true;
}

}  // namespace

bool openWindows(const WindowImage *picture, const WindowImage &spectrum,
                 WindowEventHandler onEvent) {
  if (!readyToOpen() || !openConnection()) return false;
  x.onEvent = onEvent;
  const int screen = DefaultScreen(x.display);
  XWindow &pictureWindow = windowOf(ShownWindow::picture);
  XWindow &spectrumWindow = windowOf(ShownWindow::spectrum);
  int place[2];
  const int *spectrumPlace = nullptr;
  if (picture && createWindow(pictureWindow, *picture, nullptr)) {
    placeBeside(ScreenRect{0, 0, picture->width, picture->height}, spectrum.width, spectrum.height,
                DisplayWidth(x.display, screen), DisplayHeight(x.display, screen), &place[0],
                &place[1]);
    spectrumPlace = place;
  }
  if (!lost()) createWindow(spectrumWindow, spectrum, spectrumPlace);
  XSync(x.display, False);
  if (lost() || (!pictureWindow.alive && !spectrumWindow.alive)) return false;
  try {
    std::thread(displayLoop).detach();
  } catch (const std::system_error &) {
    return false;
  }
  x.running = true;
  return true;
}

void repaintWindow(ShownWindow which) {
  if (!x.running) return;
  windowOf(which).repaintAsked.store(true);
  wake();
}

void setWindowTitle(ShownWindow which, const char *title) {
  if (!x.running) return;
  {
    std::lock_guard<std::mutex> guard(x.lock);
    XWindow &window = windowOf(which);
    window.askedTitle = title;
    window.titleAsked = true;
  }
  wake();
}

// A display thread stuck on a server that no longer answers must not hold the program, at its
// end least of all: after a while the caller goes on.
void closeWindows() {
  if (!x.running) return;
  x.closeAsked.store(true);
  wake();
  std::unique_lock<std::mutex> guard(x.lock);
  x.closedChanged.wait_for(guard, kClosePatience, [] { return x.closed; });
}
