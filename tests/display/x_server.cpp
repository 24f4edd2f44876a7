// Starting Xvfb for a test and looking at its windows through a connection of the test's own.
#include "tests/display/x_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/temp_folder.h"

extern char **environ;

struct Probe {
  Display *display;
};

void ProbeCloser::operator()(Probe *probe) const {
  XCloseDisplay(probe->display);
  delete probe;
}

namespace {

// A program's path as the shell finds it, worked out before a fork: between fork and exec the
// child of a threaded test may only make async-signal-safe calls.
std::string pathOf(const char *program) {
  const char *variable = std::getenv("PATH");
  const std::string folders = variable != nullptr ? variable : "/usr/bin:/bin";
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    const std::string candidate = folder + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

}  // namespace

bool startXvfb(XvfbServer &server, int depth, bool sharedMemory, int width, int height) {
  const std::string xvfb = pathOf("Xvfb");
  if (xvfb.empty()) return false;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  const std::string fd = std::to_string(pipeFds[1]);
  const std::string screen =
      std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  const char *arguments[] = {"Xvfb",      "-displayfd", fd.c_str(),
                             "-screen",   "0",          screen.c_str(),
                             "-nolisten", "tcp",        sharedMemory ? nullptr : "-extension",
                             "MIT-SHM",   nullptr};
  const pid_t test = getpid();
  server.pid = fork();
  if (server.pid == 0) {
    // The server ends with the test process however that ends (its watchdog, a kill), so that
    // no server outlives its test.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != test) _exit(127);
    close(pipeFds[0]);
    const int nothing = open("/dev/null", O_WRONLY);
    dup2(nothing, 1);
    dup2(nothing, 2);
    execv(xvfb.c_str(), const_cast<char **>(arguments));
    _exit(127);
  }
  close(pipeFds[1]);
  if (server.pid < 0) {
    close(pipeFds[0]);
    server.pid = -1;
    return false;
  }
  // Xvfb writes the display number it took, then a newline, once it accepts connections.
  std::string number;
  pollfd source{pipeFds[0], POLLIN, 0};
  char c;
  while (poll(&source, 1, 20000) > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n') number += c;
  close(pipeFds[0]);
  if (number.empty()) {
    stopXvfb(server, true);
    return false;
  }
  server.name = ":" + number;
  return true;
}

void stopXvfb(XvfbServer &server, bool abruptly) {
  if (server.pid <= 0) return;
  kill(server.pid, abruptly ? SIGKILL : SIGTERM);
  int status;
  waitpid(server.pid, &status, 0);
  server.pid = -1;
}

void freezeXvfb(XvfbServer &server, bool frozen) {
  if (server.pid > 0) kill(server.pid, frozen ? SIGSTOP : SIGCONT);
}

namespace {

// Windows vanish under the probe's feet in these tests; that is no failure of the probe.
int ignoreError(Display *, XErrorEvent *) {
  return 0;
}

Atom atom(Probe &probe, const char *name) {
  return XInternAtom(probe.display, name, False);
}

// The property's raw items and its type's name; items are bytes, or longs for format 32.
bool readProperty(Probe &probe, unsigned long id, Atom property, std::string &bytes,
                  std::vector<long> &longs, std::string &typeName) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char *data = nullptr;
  if (XGetWindowProperty(probe.display, id, property, 0, 4096, False, AnyPropertyType, &type,
                         &format, &count, &after, &data) != Success ||
      type == None) {
    if (data) XFree(data);
    return false;
  }
  if (format == 8) bytes.assign(reinterpret_cast<char *>(data), count);
  if (format == 32)
    longs.assign(reinterpret_cast<long *>(data), reinterpret_cast<long *>(data) + count);
  char *name = XGetAtomName(probe.display, type);
  typeName = name ? name : "";
  if (name) XFree(name);
  XFree(data);
  return true;
}

}  // namespace

ProbeHandle openProbe(const std::string &displayName) {
  Display *display = XOpenDisplay(displayName.c_str());
  if (!display) return nullptr;
  XSetErrorHandler(ignoreError);
  return ProbeHandle(new Probe{display});
}

std::vector<TopWindow> topWindows(Probe &probe) {
  std::vector<TopWindow> found;
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(probe.display, DefaultRootWindow(probe.display), &root, &parent, &children,
                  &count)) {
    return found;
  }
  for (unsigned i = 0; i < count; ++i) {
    TopWindow window;
    window.id = children[i];
    XClassHint classHint;
    if (!XGetClassHint(probe.display, children[i], &classHint)) continue;
    window.resName = classHint.res_name ? classHint.res_name : "";
    window.resClass = classHint.res_class ? classHint.res_class : "";
    if (classHint.res_name) XFree(classHint.res_name);
    if (classHint.res_class) XFree(classHint.res_class);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(probe.display, children[i], &attributes)) continue;
    window.viewable = attributes.map_state == IsViewable;
    window.x = attributes.x;
    window.y = attributes.y;
    window.width = attributes.width;
    window.height = attributes.height;
    std::vector<long> unused;
    readProperty(probe, children[i], atom(probe, "_NET_WM_NAME"), window.netWmName, unused,
                 window.netWmNameType);
    readProperty(probe, children[i], XA_WM_NAME, window.wmName, unused, window.wmNameType);
    std::string ignored, type;
    readProperty(probe, children[i], atom(probe, "_MOTIF_WM_HINTS"), ignored, window.motifHints,
                 type);
    XSizeHints hints;
    long supplied;
    if (XGetWMNormalHints(probe.display, children[i], &hints, &supplied)) {
      window.sizeHintFlags = hints.flags;
      window.minWidth = hints.min_width;
      window.minHeight = hints.min_height;
      window.maxWidth = hints.max_width;
      window.maxHeight = hints.max_height;
    }
    if (XWMHints *wm = XGetWMHints(probe.display, children[i])) {
      window.takesKeyboard = !(wm->flags & InputHint) || wm->input;
      XFree(wm);
    }
    Atom *protocols = nullptr;
    int protocolCount = 0;
    if (XGetWMProtocols(probe.display, children[i], &protocols, &protocolCount)) {
      const Atom deleteWindow = atom(probe, "WM_DELETE_WINDOW");
      for (int p = 0; p < protocolCount; ++p) window.acceptsDelete |= protocols[p] == deleteWindow;
      XFree(protocols);
    }
    found.push_back(window);
  }
  if (children) XFree(children);
  return found;
}

bool windowExists(Probe &probe, unsigned long id) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(probe.display, id, &attributes) != 0;
}

void moveWindow(Probe &probe, unsigned long id, int x, int y) {
  XMoveWindow(probe.display, id, x, y);
  XSync(probe.display, False);
}

std::vector<std::uint32_t> readPixels(Probe &probe, unsigned long id, int width, int height) {
  std::vector<std::uint32_t> pixels;
  XImage *image = XGetImage(probe.display, id, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)));
    }
  }
  XDestroyImage(image);
  return pixels;
}

void scribbleAndExpose(Probe &probe, unsigned long id, int width, int height) {
  GC gc = XCreateGC(probe.display, id, 0, nullptr);
  XSetForeground(probe.display, gc, 0);
  XFillRectangle(probe.display, id, gc, 0, 0, static_cast<unsigned>(width),
                 static_cast<unsigned>(height));
  XFreeGC(probe.display, gc);
  XClearArea(probe.display, id, 0, 0, 0, 0, True);
  XSync(probe.display, False);
}

void coverAndUncover(Probe &probe, unsigned long id) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(probe.display, id, &attributes)) return;
  const Window root = DefaultRootWindow(probe.display);
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(probe.display, id, root, 0, 0, &x, &y, &child);
  XSetWindowAttributes cover{};
  cover.background_pixel = BlackPixel(probe.display, DefaultScreen(probe.display));
  cover.override_redirect = True;
  const Window over =
      XCreateWindow(probe.display, root, x, y, static_cast<unsigned>(attributes.width),
                    static_cast<unsigned>(attributes.height), 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWBackPixel | CWOverrideRedirect, &cover);
  XMapRaised(probe.display, over);
  XSync(probe.display, False);
  XDestroyWindow(probe.display, over);
  XSync(probe.display, False);
}

void sendDeleteWindow(Probe &probe, unsigned long id) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = id;
  event.xclient.message_type = atom(probe, "WM_PROTOCOLS");
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(atom(probe, "WM_DELETE_WINDOW"));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(probe.display, id, False, NoEventMask, &event);
  XSync(probe.display, False);
}

void warpPointer(Probe &probe, int x, int y) {
  XWarpPointer(probe.display, None, DefaultRootWindow(probe.display), 0, 0, 0, 0, x, y);
  XSync(probe.display, False);
}

std::uint32_t pixelOf(Probe &probe, unsigned red, unsigned green, unsigned blue) {
  const int depth = DefaultDepth(probe.display, DefaultScreen(probe.display));
  if (depth == 16) return (red >> 3) << 11 | (green >> 2) << 5 | (blue >> 3);
  // An 8-bit Xvfb's default visual has a colour map; the windows take its true-colour visual,
  // whose masks are 0x07 (red), 0x38 (green) and 0xc0 (blue).
  if (depth == 8) return (red >> 5) | (green >> 5) << 3 | (blue >> 6) << 6;
  return red << 16 | green << 8 | blue;
}

void startWatchdog(std::chrono::seconds limit) {
  std::thread([limit] {
    std::this_thread::sleep_for(limit);
    std::fprintf(stderr, "watchdog: the test still runs after %lld s\n",
                 static_cast<long long>(limit.count()));
    std::error_code ignored;
    std::filesystem::remove_all(testFolder(), ignored);
    _exit(124);
  }).detach();
}

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

pid_t runBeside(const std::string &script) {
  pid_t pid;
  const char *arguments[] = {"sh", "-c", script.c_str(), nullptr};
  // A process group of its own, so that the script and everything it started can be ended.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const int failed =
      posix_spawnp(&pid, "sh", nullptr, &attributes, const_cast<char **>(arguments), environ);
  posix_spawnattr_destroy(&attributes);
  return failed ? -1 : pid;
}

int waitExit(pid_t pid, pid_t watched, std::chrono::milliseconds limit) {
  if (pid <= 0) return -1;
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // Looks at the watched process without reaping it: its owner collects its status.
    siginfo_t info{};
    const bool watchedEnded =
        watched > 0 &&
        waitid(P_PID, static_cast<id_t>(watched), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == watched;
    if (watchedEnded || std::chrono::steady_clock::now() > end) {
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string pollingSteps() {
  return "command -v xsel >/dev/null || { echo 'xsel is missing: make test-deps' >&2; exit 1; }; "
         "within() { end=$(($(date +%s) + $1)); shift; until \"$@\"; do "
         "[ \"$(date +%s)\" -lt \"$end\" ] || return 1; sleep 0.05; done; }; "
         "selection_holds() { [ \"$(xsel --$1 --output -t 2000)\" = \"$2\" ]; }; "
         "focus() { timeout 10 xdotool windowfocus --sync \"$1\"; }; ";
}

std::string findDialog(pid_t owner) {
  const std::string pid = std::to_string(owner);
  // The caller's waitExit ends the script sooner when the owner ends.
  return pollingSteps() + "shows_dialog() { for p in " + pid + " $(pgrep -P " + pid +
         "); do id=$(xdotool search --onlyvisible --pid \"$p\" | head -n 1); "
         "[ -n \"$id\" ] && dialog=$p && return 0; done; return 1; }; "
         "dialog_gone() { ! xdotool search --onlyvisible --pid \"$dialog\" | grep -qx \"$id\"; }; "
         "id=; dialog=; within 30 shows_dialog && focus \"$id\"";
}

std::string typePaths(pid_t owner, const std::vector<std::string> &paths) {
  // GTK's entry makes its selected text the PRIMARY selection: once the whole entry is selected,
  // that selection is what the entry holds. A key lost, or a completion GTK added, shows there,
  // and the path is typed again; a dialog slow to take the keys is waited for (10 s).
  std::string script = findDialog(owner);
  for (const std::string &path : paths) {
    script +=
        " && typed= && for attempt in 1 2 3; do xsel --primary --clear; focus \"$id\" && "
        "xdotool key --clearmodifiers ctrl+a && xdotool type --delay 8 '" +
        path + "' && xdotool key ctrl+a && within 10 selection_holds primary '" + path +
        "' && typed=1 && break; echo \"typist: the entry holds $(xsel --primary --output "
        "-t 2000), the keyboard is on $(xdotool getwindowfocus); typing again\" >&2; done && [ -n "
        "\"$typed\" ] && xdotool key Return";
  }
  // The dialog takes the last path and goes. One that stays is cancelled, so that no test waits
  // for it forever: Escape again while it stays, as the first may only close a completion list.
  return script +
         " && within 30 dialog_gone && exit 0; echo 'typist: the dialog took no path' >&2; "
         "for attempt in 1 2 3; do xdotool key Escape; within 8 dialog_gone && break; done; exit 1";
}

void colourAt(int x, int y, int seed, std::uint8_t *bgr) {
  bgr[0] = static_cast<std::uint8_t>(x * 53 + y * 17 + seed);
  bgr[1] = static_cast<std::uint8_t>(x * 7 + y * 101 + 60 + seed * 3);
  bgr[2] = static_cast<std::uint8_t>(((x * 29) ^ (y * 13)) + seed * 5);
}

// Pixel values of a bottom-up 24-bit image with the given row length, top row first.
std::vector<std::uint32_t> imagePixels(Probe &probe, const std::uint8_t *pixels, int width,
                                       int height, size_t stride) {
  std::vector<std::uint32_t> values;
  for (int top = 0; top < height; ++top) {
    const std::uint8_t *row = pixels + stride * static_cast<size_t>(height - 1 - top);
    for (int x = 0; x < width; ++x) {
      values.push_back(pixelOf(probe, row[3 * x + 2], row[3 * x + 1], row[3 * x]));
    }
  }
  return values;
}
