// The window subset over Xlib: one connection owned by the display thread, reached from other
// threads only through a locked request queue.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/dib_row.h"
#include "platform/console.h"
#include "platform/translate.h"
#include "win32.h"

struct PaintContext {
  WindowRecord *window;
};

struct WindowRecord {
  Window id = 0;
  WNDPROC procedure = nullptr;
  std::vector<unsigned char> extra;
  int x = 0, y = 0;  // where it was asked for
  int width = 0;
  int height = 0;
  bool alive = true;
  bool invalid = true;  // a shown window starts out needing a paint
  // The window's contents, kept by the server: paints go here, and EndPaint and uncovering copy
  // from here to the window. None until the first paint, or when the server refused one (paints
  // then go straight to the window); painted once a paint has put pixels into it.
  Pixmap pixmap = 0;
  bool pixmapRefused = false;
  bool painted = false;
  // The part of the pixmap that SetDIBitsToDevice changed, copied to the window by EndPaint.
  int dirtyLeft = 0, dirtyTop = 0, dirtyRight = 0, dirtyBottom = 0;
  PaintContext paint{this};
};

namespace {

struct WindowClass {
  std::string name;
  WNDPROC procedure = nullptr;
  int extraBytes = 0;
};

// A message for the display thread; a sent one carries the slot its sender waits on, shared so
// that a sender that gave up waiting leaves nothing dangling.
struct SentMessage {
  LRESULT result = 0;
  bool done = false;
};
struct Request {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::shared_ptr<SentMessage> sent;  // null for a repaint request
};

// Where DIB rows are turned into the server's pixel format on their way to a pixmap: a few rows at
// a time, in two halves that alternate, so that one is converted while the server reads the
// other. Each half holds at least one row of the widest window X allows, at 32 bits a pixel, and
// 128 rows of a 1024-pixel window: a wait for the server between halves is a round trip, which on
// a busy machine can take a while.
constexpr size_t kStripBytes = 512 * 1024;
static_assert(kStripBytes >= 4 * 32767);
struct Strip {
  char *memory = nullptr;  // both halves
  // The memory is this segment, attached by the server, when shared is set (MIT-SHM).
  XShmSegmentInfo segment{};
  bool shared = false;
  std::array<bool, 2> putPending{};  // whether a put from that half may still be under way
  int next = 0;                      // the half to fill next
};

// The connection to the X server: opened by RegisterClassExA, then used only by the display
// thread, apart from the wake-up descriptor and the two flags the error handlers write.
struct Connection {
  Display *display = nullptr;
  Visual *visual = nullptr;
  int depth = 0;
  Colormap colormap = 0;
  GC gc = nullptr;
  Atom wmProtocols = 0, wmDeleteWindow = 0, netWmName = 0, netWmIconName = 0, utf8String = 0,
       motifWmHints = 0;
  int wakeFd = -1;  // other threads write it to wake the message loop
  // Whether images go through shared memory (MIT-SHM): only a server on this machine can.
  bool sharedImages = false;
  Strip strip;
  // Written by the error handlers, which run on whichever thread made the failing call.
  std::atomic<bool> lost{false};
  std::atomic<int> lastErrorCode{0};
};

// Other threads' messages for the display thread, and the thread that runs the loop.
struct RequestQueue {
  std::mutex lock;
  std::condition_variable done;
  std::deque<Request> pending;  // guarded by lock
  std::thread::id loopThread;   // guarded by lock; the thread that created the windows
  bool loopEnded = false;       // guarded by lock
};

// Never destroyed: the display thread may still be running while the process exits.
Connection &connection = *new Connection;
RequestQueue &queue = *new RequestQueue;
WindowClass *windowClass = nullptr;
auto &windows = *new std::vector<std::unique_ptr<WindowRecord>>;
constexpr std::chrono::seconds kSendPatience{5};

// Races such as painting a window just closed from outside give BadWindow; none is fatal here.
int onXError(Display *, XErrorEvent *error) {
  connection.lastErrorCode.store(error->error_code);
  return 0;
}

// A lost server must not end the program: note it, and return so the display thread can end.
int onIoError(Display *server) {
  if (server == connection.display) connection.lost.store(true);
  return 0;
}
void onIoErrorExit(Display *, void *) {}

bool lost() {
  return connection.lost.load();
}

WindowRecord *liveWindow(HWND window) {
  for (const auto &record : windows) {
    if (record.get() == window && record->alive) return record.get();
  }
  return nullptr;
}

WindowRecord *windowWithId(Window id) {
  for (const auto &record : windows) {
    if (record->id == id && record->alive) return record.get();
  }
  return nullptr;
}

bool chooseVisual() {
  const int screen = DefaultScreen(connection.display);
  if (DefaultVisual(connection.display, screen)->c_class == TrueColor) {
    connection.visual = DefaultVisual(connection.display, screen);
    connection.depth = DefaultDepth(connection.display, screen);
    connection.colormap = DefaultColormap(connection.display, screen);
    return true;
  }
  // Colour images need a true-colour visual; a server without one gets no windows.
  XVisualInfo info;
  for (int wanted : {24, 16, 15, 8}) {
    if (XMatchVisualInfo(connection.display, screen, wanted, TrueColor, &info)) {
      connection.visual = info.visual;
      connection.depth = info.depth;
      connection.colormap = XCreateColormap(
          connection.display, RootWindow(connection.display, screen), connection.visual, AllocNone);
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
  connection.display = XOpenDisplay(nullptr);
  if (!connection.display) {
    consoleErrorf(translate("bmpspectrum: no windows: cannot open display %s\n"), name);
    return false;
  }
  connection.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (connection.wakeFd < 0) {
    consoleErrorf(translate("bmpspectrum: no windows: %s\n"), std::strerror(errno));
  } else if (!chooseVisual()) {
    consoleErrorf(translate("bmpspectrum: no windows: display %s has no true-colour visual\n"),
                  name);
  }
  if (connection.wakeFd < 0 || !connection.visual) {
    if (connection.wakeFd >= 0) close(connection.wakeFd);
    connection.wakeFd = -1;
    XCloseDisplay(connection.display);
    connection.display = nullptr;
    return false;
  }
  const char *names[] = {"WM_PROTOCOLS",      "WM_DELETE_WINDOW", "_NET_WM_NAME",
                         "_NET_WM_ICON_NAME", "UTF8_STRING",      "_MOTIF_WM_HINTS"};
  Atom atoms[6];
  XInternAtoms(connection.display, const_cast<char **>(names), 6, False, atoms);
  connection.wmProtocols = atoms[0];
  connection.wmDeleteWindow = atoms[1];
  connection.netWmName = atoms[2];
  connection.netWmIconName = atoms[3];
  connection.utf8String = atoms[4];
  connection.motifWmHints = atoms[5];
  connection.sharedImages = XShmQueryExtension(connection.display) == True;
  // Installed here, after any GTK dialog is gone, so GTK's exiting handlers no longer apply.
  XSetErrorHandler(onXError);
  XSetIOErrorHandler(onIoError);
  XSetIOErrorExitHandler(connection.display, onIoErrorExit, nullptr);
  return true;
}

void setTitleAndHints(Window id, const char *title, int width, int height, bool placed) {
  const std::string text = title ? title : "";
  XTextProperty name;
  name.value = reinterpret_cast<unsigned char *>(const_cast<char *>(text.c_str()));
  name.encoding = connection.utf8String;
  name.format = 8;
  name.nitems = text.size();

  XSizeHints size{};
  size.flags = PSize | PMinSize | PMaxSize | (placed ? USPosition : 0);
  size.width = size.min_width = size.max_width = width;
  size.height = size.min_height = size.max_height = height;

  XWMHints wm{};
  // Keys are read from the terminal: the windows should not take the keyboard away from it.
  wm.flags = InputHint | StateHint;
  wm.input = False;
  wm.initial_state = NormalState;

  std::string instanceName = program_invocation_short_name;
  XClassHint classHint;
  classHint.res_name = instanceName.data();
  classHint.res_class = windowClass->name.data();

  XSetWMProperties(connection.display, id, &name, &name, nullptr, 0, &size, &wm, &classHint);
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.c_str());
  const int length = static_cast<int>(text.size());
  XChangeProperty(connection.display, id, connection.netWmName, connection.utf8String, 8,
                  PropModeReplace, bytes, length);
  XChangeProperty(connection.display, id, connection.netWmIconName, connection.utf8String, 8,
                  PropModeReplace, bytes, length);

  // Motif hints: may be moved; border and title, no buttons and no resize handles.
  constexpr long kFunctionsAndDecorations = 1 | 2;
  constexpr long kFunctionMove = 4;
  constexpr long kDecorBorderAndTitle = 2 | 8;
  const long motif[5] = {kFunctionsAndDecorations, kFunctionMove, kDecorBorderAndTitle, 0, 0};
  XChangeProperty(connection.display, id, connection.motifWmHints, connection.motifWmHints, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char *>(motif), 5);
  XSetWMProtocols(connection.display, id, &connection.wmDeleteWindow, 1);
}

// The server's copy of the window's contents goes with the window.
void freePixmap(WindowRecord *record) {
  if (record->pixmap && !lost()) XFreePixmap(connection.display, record->pixmap);
  record->pixmap = 0;
  record->painted = false;
}

void destroyWindow(WindowRecord *record) {
  record->procedure(record, WM_DESTROY, 0, 0);
  record->alive = false;
  record->invalid = false;
  freePixmap(record);
  if (lost()) return;
  XDestroyWindow(connection.display, record->id);
  // The caller of a sent WM_CLOSE resumes only once the server has destroyed the window.
  XSync(connection.display, False);
}

void wake() {
  const std::uint64_t one = 1;
  while (write(connection.wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

bool onLoopThread() {
  return queue.loopThread == std::this_thread::get_id();
}

// Runs the requests of other threads: sent messages go to the window procedure here.
void handleRequests() {
  std::deque<Request> batch;
  {
    std::lock_guard<std::mutex> guard(queue.lock);
    batch.swap(queue.pending);
  }
  for (const Request &request : batch) {
    WindowRecord *record = lost() ? nullptr : liveWindow(request.window);
    LRESULT result = 0;
    if (record && request.sent) {
      result = record->procedure(record, request.message, request.wParam, request.lParam);
    } else if (record) {
      record->invalid = true;
    }
    if (request.sent) {
      std::lock_guard<std::mutex> guard(queue.lock);
      request.sent->result = result;
      request.sent->done = true;
      queue.done.notify_all();
    }
  }
}

// The strip's memory; the server's side of a shared one only while the server is there.
void releaseStrip() {
  Strip &strip = connection.strip;
  if (!strip.memory) return;
  if (strip.shared) {
    if (!lost()) XShmDetach(connection.display, &strip.segment);
    shmdt(strip.segment.shmaddr);
  } else {
    std::free(strip.memory);
  }
  strip = Strip{};
}

// The loop is over for good: release every waiting sender and refuse later requests.
void endLoop() {
  releaseStrip();
  std::lock_guard<std::mutex> guard(queue.lock);
  queue.loopEnded = true;
  for (const Request &request : queue.pending) {
    if (request.sent) request.sent->done = true;
  }
  queue.pending.clear();
  queue.done.notify_all();
}

// Each handler notes what the event means for the window; true when it became a message.
// An uncovered part of a window whose pixmap holds its picture is copied from there, as a
// compositing desktop would show it, without a paint; a window never painted is asked to paint.
bool onExpose(WindowRecord *record, const XEvent &event, MSG *) {
  if (!record->painted) {
    record->invalid = true;
    return false;
  }
  const XExposeEvent &area = event.xexpose;
  XCopyArea(connection.display, record->pixmap, record->id, connection.gc, area.x, area.y,
            static_cast<unsigned>(area.width), static_cast<unsigned>(area.height), area.x, area.y);
  return false;
}

// What a window manager sends when the user closes the window.
bool onClientMessage(WindowRecord *record, const XEvent &event, MSG *message) {
  if (event.xclient.message_type != connection.wmProtocols || event.xclient.format != 32 ||
      static_cast<Atom>(event.xclient.data.l[0]) != connection.wmDeleteWindow) {
    return false;
  }
  *message = MSG{record, WM_CLOSE, 0, 0};
  return true;
}

// Only another client can destroy the window unseen (our own destroy marks it dead first).
bool onDestroyNotify(WindowRecord *record, const XEvent &, MSG *) {
  record->alive = false;
  freePixmap(record);
  return false;
}

using EventHandler = bool (*)(WindowRecord *, const XEvent &, MSG *);
constexpr auto eventHandlers = [] {
  std::array<EventHandler, LASTEvent> table{};
  table[Expose] = onExpose;
  table[ClientMessage] = onClientMessage;
  table[DestroyNotify] = onDestroyNotify;
  return table;
}();

bool translateEvent(const XEvent &event, MSG *message) {
  WindowRecord *record = windowWithId(event.xany.window);
  if (!record || event.type < 0 || event.type >= LASTEvent || !eventHandlers[event.type]) {
    return false;
  }
  return eventHandlers[event.type](record, event, message);
}

bool takePaint(MSG *message) {
  for (const auto &record : windows) {
    if (record->alive && record->invalid) {
      *message = MSG{record.get(), WM_PAINT, 0, 0};
      return true;
    }
  }
  return false;
}

// Shared memory for the strip, attached by the server, so that a put sends no pixels through the
// socket; false when the server cannot attach it (a remote one).
bool shareStrip(Strip &strip) {
  XShmSegmentInfo &segment = strip.segment;
  segment.shmid = shmget(IPC_PRIVATE, 2 * kStripBytes, IPC_CREAT | 0600);
  segment.shmaddr = segment.shmid < 0 ? reinterpret_cast<char *>(-1)
                                      : static_cast<char *>(shmat(segment.shmid, nullptr, 0));
  bool attached = false;
  if (segment.shmaddr != reinterpret_cast<char *>(-1)) {
    segment.readOnly = False;
    connection.lastErrorCode.store(0);
    XShmAttach(connection.display, &segment);
    XSync(connection.display, False);
    attached = connection.lastErrorCode.load() == 0 && !lost();
  }
  // Marked for removal at once: the system frees it when the server and we have detached, also
  // when the process ends without doing so.
  if (segment.shmid >= 0) shmctl(segment.shmid, IPC_RMID, nullptr);
  if (attached) {
    strip.memory = segment.shmaddr;
    strip.shared = true;
    return true;
  }
  if (segment.shmaddr != reinterpret_cast<char *>(-1)) shmdt(segment.shmaddr);
  segment = XShmSegmentInfo{};
  return false;
}

bool ensureStrip() {
  Strip &strip = connection.strip;
  if (strip.memory) return true;
  if (connection.sharedImages) {
    if (shareStrip(strip)) return true;
    connection.sharedImages = false;  // this server does not share memory with us: put images
  }
  strip.memory = static_cast<char *>(std::malloc(2 * kStripBytes));
  return strip.memory != nullptr;
}

// The window's pixmap, made at its first paint; a server that refuses one leaves paints to go
// straight to the window, which is then asked to paint again whenever it is uncovered.
void ensurePixmap(WindowRecord *record) {
  if (record->pixmap || record->pixmapRefused) return;
  connection.lastErrorCode.store(0);
  const Pixmap pixmap =
      XCreatePixmap(connection.display, record->id, static_cast<unsigned>(record->width),
                    static_cast<unsigned>(record->height), static_cast<unsigned>(connection.depth));
  XSync(connection.display, False);
  if (lost()) return;
  if (connection.lastErrorCode.load() != 0) {
    record->pixmapRefused = true;
  } else {
    record->pixmap = pixmap;
  }
}

// An image over the strip's next half, of the given width and as many of the wanted rows as the
// half holds, once the server has done reading that half: a round trip, by which time it has
// long been done. The caller releases it with releaseStripImage.
XImage *takeStripHalf(long width, long wantedRows) {
  Strip &strip = connection.strip;
  const int half = strip.next;
  strip.next ^= 1;
  if (strip.putPending[half]) {
    XSync(connection.display, False);
    strip.putPending = {};
  }
  char *data = strip.memory + static_cast<size_t>(half) * kStripBytes;
  const auto depth = static_cast<unsigned>(connection.depth);
  const auto columns = static_cast<unsigned>(width);
  XImage *image = strip.shared ? XShmCreateImage(connection.display, connection.visual, depth,
                                                 ZPixmap, data, &strip.segment, columns, 1)
                               : XCreateImage(connection.display, connection.visual, depth, ZPixmap,
                                              0, data, columns, 1, 32, 0);
  if (!image) return nullptr;
  const long fits = static_cast<long>(kStripBytes) / image->bytes_per_line;
  image->height = static_cast<int>(std::min(wantedRows, fits));
  strip.putPending[half] = strip.shared;
  return image;
}

void releaseStripImage(XImage *image) {
  image->data = nullptr;  // the strip's, not the C library's to free
  image->obdata = nullptr;
  XDestroyImage(image);
}

unsigned long scaleToMask(unsigned value, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long scaled = bits <= 8 ? value >> (8 - bits) : value << (bits - 8);
  return (scaled << shift) & mask;
}

}  // namespace

// Xlib's I/O error path, taken when the server vanishes during a request, unlocks the display
// lock once more after a returning exit handler; that misuse is inside libX11 and harmless to us.
extern "C" const char *__tsan_default_suppressions() {
  return "mutex:libX11.so.6\n";
}

ATOM RegisterClassExA(const WNDCLASSEXA *classInfo) {
  if (!classInfo || !classInfo->lpszClassName || !classInfo->lpfnWndProc) return 0;
  if (windowClass || lost()) return 0;
  if (!connection.display && !openConnection()) return 0;
  windowClass = new WindowClass;
  windowClass->name = classInfo->lpszClassName;
  windowClass->procedure = classInfo->lpfnWndProc;
  windowClass->extraBytes = std::max(classInfo->cbWndExtra, 0);
  return 0xC000;
}

HWND CreateWindowExA(DWORD, const char *className, const char *title, DWORD style, int x, int y,
                     int width, int height, HWND, HMENU, HINSTANCE, void *) {
  if (!connection.display || !windowClass || !className || windowClass->name != className ||
      lost()) {
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> guard(queue.lock);
    if (queue.loopThread == std::thread::id()) {
      queue.loopThread = std::this_thread::get_id();
      // A server that vanishes turns this thread's next write into SIGPIPE, which would end the
      // whole program; blocked, it is a failed write that Xlib reports as a lost connection.
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    }
    if (!onLoopThread()) return nullptr;
  }
  // X sizes are 16-bit and positions signed 16-bit; a window beyond that cannot show its image.
  if (width < 1 || height < 1 || width > 32767 || height > 32767) return nullptr;
  const bool placed = x != CW_USEDEFAULT && y != CW_USEDEFAULT;

  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;  // painting covers the whole client area; no erase
  attributes.border_pixel = 0;
  attributes.colormap = connection.colormap;
  attributes.event_mask = ExposureMask | StructureNotifyMask;
  connection.lastErrorCode.store(0);
  const Window id = XCreateWindow(
      connection.display, DefaultRootWindow(connection.display), placed ? x : 0, placed ? y : 0,
      static_cast<unsigned>(width), static_cast<unsigned>(height), 0, connection.depth, InputOutput,
      connection.visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  setTitleAndHints(id, title, width, height, placed);
  if (!connection.gc) {
    // Copies come from pixmaps, always whole: no GraphicsExpose or NoExpose events for them.
    XGCValues values{};
    values.graphics_exposures = False;
    connection.gc = XCreateGC(connection.display, id, GCGraphicsExposures, &values);
  }
  XSync(connection.display, False);
  if (lost()) return nullptr;
  if (connection.lastErrorCode.load() != 0) {
    XDestroyWindow(connection.display, id);
    return nullptr;
  }

  auto record = std::make_unique<WindowRecord>();
  record->id = id;
  record->procedure = windowClass->procedure;
  record->extra.assign(static_cast<size_t>(windowClass->extraBytes), 0);
  record->x = placed ? x : 0;
  record->y = placed ? y : 0;
  record->width = width;
  record->height = height;
  record->invalid = (style & WS_VISIBLE) != 0;
  if (style & WS_VISIBLE) XMapWindow(connection.display, id);
  windows.push_back(std::move(record));
  return windows.back().get();
}

HINSTANCE GetModuleHandleA(const char *) {
  return nullptr;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  WindowRecord *record = window ? liveWindow(window) : nullptr;
  if (!record || index < 0 || static_cast<size_t>(index) + sizeof value > record->extra.size()) {
    return 0;
  }
  LONG_PTR previous;
  std::memcpy(&previous, &record->extra[static_cast<size_t>(index)], sizeof previous);
  std::memcpy(&record->extra[static_cast<size_t>(index)], &value, sizeof value);
  return previous;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  WindowRecord *record = window ? liveWindow(window) : nullptr;
  if (!record || index < 0 ||
      static_cast<size_t>(index) + sizeof(LONG_PTR) > record->extra.size()) {
    return 0;
  }
  LONG_PTR value;
  std::memcpy(&value, &record->extra[static_cast<size_t>(index)], sizeof value);
  return value;
}

// The screen's size; caption and frame add nothing: the window manager draws them outside the
// client area.
int GetSystemMetrics(int index) {
  if (!connection.display || lost()) return 0;
  const int screen = DefaultScreen(connection.display);
  if (index == SM_CXSCREEN) return DisplayWidth(connection.display, screen);
  if (index == SM_CYSCREEN) return DisplayHeight(connection.display, screen);
  return 0;
}

BOOL GetWindowRect(HWND window, RECT *rect) {
  WindowRecord *record = window ? liveWindow(window) : nullptr;
  if (!record || !rect) return 0;
  *rect = RECT{record->x, record->y, record->x + record->width, record->y + record->height};
  return 1;
}

BOOL GetMessageA(MSG *message, HWND, UINT, UINT) {
  if (!connection.display) return 0;
  for (;;) {
    if (lost()) {
      endLoop();
      return 0;
    }
    while (!lost() && XPending(connection.display) > 0) {
      XEvent event;
      XNextEvent(connection.display, &event);
      if (translateEvent(event, message)) return 1;
    }
    if (lost()) continue;
    handleRequests();
    if (lost()) continue;
    if (takePaint(message)) return 1;
    // Events read while handling requests would otherwise wait in Xlib's queue unseen.
    if (XPending(connection.display) > 0 || lost()) continue;
    pollfd sources[2] = {{ConnectionNumber(connection.display), POLLIN, 0},
                         {connection.wakeFd, POLLIN, 0}};
    if (poll(sources, 2, -1) < 0) continue;
    // A server that went away leaves the socket at its end; noticing that here spares Xlib's
    // I/O error path, which after a returning exit handler unlocks its display lock twice.
    char next;
    if ((sources[0].revents & (POLLIN | POLLHUP | POLLERR)) &&
        recv(sources[0].fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
      connection.lost.store(true);
    }
    if (sources[1].revents & POLLIN) {
      std::uint64_t count;
      while (read(connection.wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
      }
    }
  }
}

BOOL TranslateMessage(const MSG *) {
  return 0;
}

LRESULT DispatchMessageA(const MSG *message) {
  WindowRecord *record = message ? liveWindow(message->hwnd) : nullptr;
  if (!record) return 0;
  return record->procedure(record, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  WindowRecord *record = liveWindow(window);
  if (!record) return 0;
  if (message == WM_CLOSE) {
    destroyWindow(record);
  } else if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
  }
  return 0;
}

HDC BeginPaint(HWND window, PAINTSTRUCT *paint) {
  WindowRecord *record = liveWindow(window);
  *paint = PAINTSTRUCT{};
  if (!record) return nullptr;
  record->invalid = false;
  paint->hdc = &record->paint;
  paint->rcPaint = RECT{0, 0, record->width, record->height};
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT *) {
  WindowRecord *record = liveWindow(window);
  if (!record || lost()) return 1;
  if (record->pixmap && record->dirtyRight > record->dirtyLeft &&
      record->dirtyBottom > record->dirtyTop) {
    XCopyArea(connection.display, record->pixmap, record->id, connection.gc, record->dirtyLeft,
              record->dirtyTop, static_cast<unsigned>(record->dirtyRight - record->dirtyLeft),
              static_cast<unsigned>(record->dirtyBottom - record->dirtyTop), record->dirtyLeft,
              record->dirtyTop);
    record->painted = true;
  }
  XFlush(connection.display);
  record->dirtyLeft = record->dirtyTop = record->dirtyRight = record->dirtyBottom = 0;
  return 1;
}

namespace {

// Converts rows of 24-bit pixels (blue, green, red) into the strip image's rows.
void convertRows(XImage *image, const unsigned char *first, std::ptrdiff_t step, long columns) {
  const bool fast =
      image->bits_per_pixel == 32 &&
      (image->byte_order == LSBFirst) == (std::endian::native == std::endian::little) &&
      connection.visual->red_mask == 0xff0000 && connection.visual->green_mask == 0x00ff00 &&
      connection.visual->blue_mask == 0x0000ff;
  for (int y = 0; y < image->height; ++y) {
    const unsigned char *pixel = first + y * step;
    if (fast) {
      auto *target = reinterpret_cast<std::uint32_t *>(image->data + y * image->bytes_per_line);
      for (long column = 0; column < columns; ++column, pixel += 3) {
        target[column] = static_cast<std::uint32_t>(pixel[2]) << 16 |
                         static_cast<std::uint32_t>(pixel[1]) << 8 | pixel[0];
      }
      continue;
    }
    for (long column = 0; column < columns; ++column, pixel += 3) {
      const unsigned long value = scaleToMask(pixel[2], connection.visual->red_mask) |
                                  scaleToMask(pixel[1], connection.visual->green_mask) |
                                  scaleToMask(pixel[0], connection.visual->blue_mask);
      XPutPixel(image, static_cast<int>(column), y, value);
    }
  }
}

}  // namespace

// Converts a bottom-up (or top-down) 24-bit DIB with rows padded to 4 bytes into the window's
// pixmap, a strip of rows at a time; EndPaint shows what changed. Only what the display asks
// for: the image from its origin.
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT lines, const void *bits, const BITMAPINFO *info, UINT) {
  if (!dc || !bits || !info || lost()) return 0;
  WindowRecord *record = dc->window;
  const BITMAPINFOHEADER &header = info->bmiHeader;
  if (!record->alive || header.biBitCount != 24 || header.biCompression != 0 ||
      header.biWidth <= 0 || header.biHeight == 0 || xSrc != 0 || ySrc != 0 || startScan != 0 ||
      xDest < 0 || yDest < 0 || !ensureStrip()) {
    return 0;
  }
  ensurePixmap(record);
  if (lost()) return 0;
  const long imageWidth = header.biWidth;
  const long imageHeight =
      header.biHeight > 0 ? header.biHeight : -static_cast<long>(header.biHeight);
  const bool bottomUp = header.biHeight > 0;
  const auto stride =
      static_cast<std::ptrdiff_t>(dibRowBytes(static_cast<std::uint64_t>(imageWidth)));
  const long columns =
      std::min({static_cast<long>(width), imageWidth, static_cast<long>(record->width - xDest)});
  const long rows =
      std::min({static_cast<long>(height), imageHeight, static_cast<long>(record->height - yDest)});
  if (columns <= 0 || rows <= 0) return 0;
  // Only the scan lines supplied, counted from the DIB's first row: the bottom rows of a
  // bottom-up image, the top rows of a top-down one.
  const long firstRow = bottomUp ? std::max(0L, imageHeight - static_cast<long>(lines)) : 0;
  const long endRow = bottomUp ? rows : std::min(rows, static_cast<long>(lines));
  if (firstRow >= endRow) return 0;

  const Drawable target = record->pixmap ? record->pixmap : record->id;
  const auto *source = static_cast<const unsigned char *>(bits);
  for (long row = firstRow; row < endRow;) {
    XImage *image = takeStripHalf(columns, endRow - row);
    if (!image || lost()) {
      if (image) releaseStripImage(image);
      return 0;
    }
    const long scan = bottomUp ? imageHeight - 1 - row : row;
    convertRows(image, source + scan * stride, bottomUp ? -stride : stride, columns);
    const auto stripWidth = static_cast<unsigned>(columns);
    const auto stripHeight = static_cast<unsigned>(image->height);
    const int y = static_cast<int>(yDest + row);
    if (connection.strip.shared) {
      XShmPutImage(connection.display, target, connection.gc, image, 0, 0, xDest, y, stripWidth,
                   stripHeight, False);
    } else {
      XPutImage(connection.display, target, connection.gc, image, 0, 0, xDest, y, stripWidth,
                stripHeight);
    }
    row += image->height;
    releaseStripImage(image);
  }
  const int top = static_cast<int>(yDest + firstRow);
  const int bottom = static_cast<int>(yDest + endRow);
  const bool empty = record->dirtyRight <= record->dirtyLeft;
  record->dirtyLeft = empty ? xDest : std::min(record->dirtyLeft, xDest);
  record->dirtyTop = empty ? top : std::min(record->dirtyTop, top);
  record->dirtyRight = std::max(record->dirtyRight, static_cast<int>(xDest + columns));
  record->dirtyBottom = std::max(record->dirtyBottom, bottom);
  return static_cast<int>(endRow - firstRow);
}

namespace {

// Whether a request for a window goes into the loop's queue: yes from another thread, with the
// lock still held. No from the loop's own thread, which handles it at once on record (the live
// window, null when it is gone), the lock released; no too while no loop runs (record null).
bool mustQueue(HWND window, std::unique_lock<std::mutex> &lock, WindowRecord *&record) {
  if (!window || queue.loopEnded || queue.loopThread == std::thread::id()) return false;
  if (!onLoopThread()) return true;
  lock.unlock();
  record = liveWindow(window);
  return false;
}

}  // namespace

BOOL InvalidateRect(HWND window, const RECT *, BOOL) {
  std::unique_lock<std::mutex> lock(queue.lock);
  WindowRecord *record = nullptr;
  if (!mustQueue(window, lock, record)) {
    if (record) record->invalid = true;
    return record != nullptr;
  }
  queue.pending.push_back(Request{window, WM_PAINT, 0, 0, nullptr});
  wake();
  return 1;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::unique_lock<std::mutex> lock(queue.lock);
  WindowRecord *record = nullptr;
  if (!mustQueue(window, lock, record)) {
    return record ? record->procedure(window, message, wParam, lParam) : 0;
  }
  auto sent = std::make_shared<SentMessage>();
  queue.pending.push_back(Request{window, message, wParam, lParam, sent});
  wake();
  // A display thread stuck on a server that no longer answers must not hold the program, at
  // its end least of all: after a while the sender goes on without the result.
  queue.done.wait_for(lock, kSendPatience, [&] { return sent->done || queue.loopEnded; });
  return sent->result;
}
