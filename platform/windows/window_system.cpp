// The two windows through the Win32 API: the class "GRC0", a display thread with its message
// loop, WM_PAINT painting with SetDIBitsToDevice, and WM_CLOSE sent to close them.
#include "platform/window_system.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/dib_row.h"
#include "platform/window_placement.h"
#include "platform/windows/console_text.h"
#include "win32.h"

// The picture window, for the close request at the end; null until the display thread sets it.
HWND pictureWindow = nullptr;

void displayThreadMain(void *);
LRESULT CALLBACK displayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

HINSTANCE instance = nullptr;
WindowImage images[2];
bool pictureWanted = false;
WindowEventHandler eventHandler = nullptr;
HWND spectrumWindow = nullptr;
// Set to 1 by the display thread once both windows exist and their handles are stored.
std::atomic<int> windowsReady{0};
// Whether the pointer's leaving a window has been asked for since it entered.
bool trackingLeave[2] = {false, false};

// The style Windows gives an overlapped window: a caption and a fixed frame.
constexpr DWORD kFramedStyle = WS_CAPTION;

// The outer size of a window whose client area is exactly the image: the frame as this system
// draws it, which the caption and frame metrics alone do not give on Windows 10 and 11.
SIZE outerSize(const WindowImage &image) {
  RECT rect{0, 0, image.width, image.height};
  AdjustWindowRectEx(&rect, kFramedStyle, FALSE, 0);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

HWND createWindow(WindowImage &image, int x, int y) {
  const SIZE size = outerSize(image);
  HWND window = CreateWindowExA(0, "GRC0", image.title, WS_VISIBLE, x, y, size.cx, size.cy, nullptr,
                                nullptr, instance, nullptr);
  SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(&image));
  return window;
}

ShownWindow whichIs(const WindowImage *image) {
  return image == &images[0] ? ShownWindow::picture : ShownWindow::spectrum;
}

void report(WindowEvent::Kind kind, const WindowImage *image, int key, int x, int y) {
  if (eventHandler) eventHandler(WindowEvent{kind, whichIs(image), key, x, y});
}

// Paints the image; rows not padded to 4 bytes, as a device-independent bitmap's are, are
// copied into padded ones first.
void paintImage(HWND window, const WindowImage &image) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = image.width;
  header.biHeight = image.height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  {
    std::unique_lock<std::mutex> guard;
    if (image.lock) guard = std::unique_lock<std::mutex>(*image.lock);
    const std::uint8_t *pixels = *image.pixels;
    std::vector<std::uint8_t> padded;
    const auto paddedBytes =
        static_cast<std::size_t>(dibRowBytes(static_cast<std::uint64_t>(image.width)));
    if (pixels && image.rowBytes != paddedBytes) {
      padded.assign(paddedBytes * static_cast<std::size_t>(image.height), 0);
      for (std::size_t row = 0; row < static_cast<std::size_t>(image.height); ++row) {
        std::memcpy(&padded[row * paddedBytes], pixels + row * image.rowBytes,
                    3 * static_cast<std::size_t>(image.width));
      }
      pixels = padded.data();
    }
    if (pixels) {
      SetDIBitsToDevice(dc, 0, 0, image.width, image.height, 0, 0, 0, image.height, pixels,
                        reinterpret_cast<const BITMAPINFO *>(&header), DIB_RGB_COLORS);
    }
  }
  EndPaint(window, &paint);
}

}  // namespace

void displayThreadMain(void *) {
  if (pictureWanted) pictureWindow = createWindow(images[0], CW_USEDEFAULT, CW_USEDEFAULT);
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  RECT placed;
  if (pictureWindow != nullptr && GetWindowRect(pictureWindow, &placed)) {
    const SIZE size = outerSize(images[1]);
    placeBeside(ScreenRect{placed.left, placed.top, placed.right, placed.bottom}, size.cx, size.cy,
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), &x, &y);
  }
  spectrumWindow = createWindow(images[1], x, y);

  windowsReady.store(1, std::memory_order_release);
  windowsReady.notify_all();

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

LRESULT CALLBACK displayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto *image = reinterpret_cast<const WindowImage *>(GetWindowLongPtrA(window, 0));
  if (!image) return DefWindowProcA(window, message, wParam, lParam);
  const int slot = image == &images[0] ? 0 : 1;
  switch (message) {
    case WM_PAINT:
      paintImage(window, *image);
      return 0;
    case WM_CHAR:
      report(WindowEvent::typed, image, static_cast<int>(wParam), 0, 0);
      return 0;
    case WM_MOUSEMOVE:
      if (!trackingLeave[slot]) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
        trackingLeave[slot] = TrackMouseEvent(&track) != 0;
      }
      report(WindowEvent::pointer, image, 0, static_cast<short>(LOWORD(lParam)),
             static_cast<short>(HIWORD(lParam)));
      return 0;
    case WM_MOUSELEAVE:
      trackingLeave[slot] = false;
      report(WindowEvent::pointerLeft, image, 0, 0, 0);
      return 0;
    case WM_DESTROY:
      report(WindowEvent::closed, image, 0, 0, 0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool openWindows(const WindowImage *picture, const WindowImage &spectrum,
                 WindowEventHandler onEvent) {
  instance = GetModuleHandleA(nullptr);
  pictureWanted = picture != nullptr;
  if (picture) images[0] = *picture;
  images[1] = spectrum;
  eventHandler = onEvent;

  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = 0;
  windowClass.lpfnWndProc = displayWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 10;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "GRC0";
  if (RegisterClassExA(&windowClass) == 0) return false;

  if (_beginthread(displayThreadMain, 0, nullptr) == static_cast<std::uintptr_t>(-1)) return false;
  // The display thread sets the flag even when a window could not be created.
  windowsReady.wait(0, std::memory_order_acquire);
  return pictureWindow != nullptr || spectrumWindow != nullptr;
}

// The wide-character call, so that the Japanese title is right whatever the ANSI code page.
void setWindowTitle(ShownWindow which, const char *title) {
  HWND window = which == ShownWindow::picture ? pictureWindow : spectrumWindow;
  if (window != nullptr) SetWindowTextW(window, toConsoleText(title).c_str());
}

void repaintWindow(ShownWindow which) {
  HWND window = which == ShownWindow::picture ? pictureWindow : spectrumWindow;
  if (window != nullptr) InvalidateRect(window, nullptr, FALSE);
}

// The message loop never waits on anything but its own messages, so the sent close returns.
void closeWindows() {
  if (windowsReady.load(std::memory_order_acquire) == 0) return;
  SendMessageA(pictureWindow, WM_CLOSE, 0, 0);
  SendMessageA(spectrumWindow, WM_CLOSE, 0, 0);
}
