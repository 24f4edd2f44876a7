// The window class, the display thread with its two windows and message loop, and painting.
#include "display/display.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/dib_row.h"
#include "common/dib_view.h"

std::atomic<int> windowsReady{0};
HWND pictureWindow = nullptr;

namespace {

HINSTANCE instance = nullptr;
int pictureWidth = 0;
int pictureHeight = 0;

// A window of the given outer size goes directly right of the placed one, or below it when the
// screen is too narrow for both side by side, so that both are seen whenever they fit; where
// neither fits it goes to the right. Without a placed window the system chooses.
void placeBeside(HWND placed, int width, int height, int *x, int *y) {
  RECT outer;
  if (placed == nullptr || !GetWindowRect(placed, &outer)) return;
  const bool fitsRight = outer.right + width <= GetSystemMetrics(SM_CXSCREEN);
  const bool fitsBelow = outer.bottom + height <= GetSystemMetrics(SM_CYSCREEN);
  *x = fitsRight || !fitsBelow ? outer.right : outer.left;
  *y = fitsRight || !fitsBelow ? outer.top : outer.bottom;
}

}  // namespace

void startDisplay(int width, int height) {
  instance = GetModuleHandleA(nullptr);
  pictureWidth = width;
  pictureHeight = height;

  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = 0;
  windowClass.lpfnWndProc = displayWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 10;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "GRC0";
  if (RegisterClassExA(&windowClass) == 0) return;

  if (_beginthread(displayThreadMain, 0, nullptr) == static_cast<std::uintptr_t>(-1)) return;
  // The display thread sets the flag even when a window could not be created.
  windowsReady.wait(0, std::memory_order_acquire);
}

void displayThreadMain(void *) {
  const int captionHeight = GetSystemMetrics(SM_CYCAPTION);
  const int frameWidth = GetSystemMetrics(SM_CXDLGFRAME);
  const int frameHeight = GetSystemMetrics(SM_CYDLGFRAME);

  HWND window = CreateWindowExA(0, "GRC0", "BMPファイルの表示", WS_VISIBLE, CW_USEDEFAULT,
                                CW_USEDEFAULT, pictureWidth + 2 * frameWidth,
                                pictureHeight + captionHeight + 2 * frameHeight, nullptr, nullptr,
                                instance, nullptr);
  pictureWindow = window;
  SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(&sourceView));
  sourceView.window = window;

  const int spectrumWidth = spectrumView.header.biWidth + 2 * frameWidth;
  const int spectrumHeight = spectrumView.header.biHeight + captionHeight + 2 * frameHeight;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  placeBeside(pictureWindow, spectrumWidth, spectrumHeight, &x, &y);
  window = CreateWindowExA(0, "GRC0", "空間周波数スペクトル", WS_VISIBLE, x, y, spectrumWidth,
                           spectrumHeight, nullptr, nullptr, instance, nullptr);
  SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(&spectrumView));
  spectrumView.window = window;

  windowsReady.store(1, std::memory_order_release);
  windowsReady.notify_all();

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

LRESULT displayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto *view = reinterpret_cast<const DibView *>(GetWindowLongPtrA(window, 0));
  if (message != WM_PAINT || !view) return DefWindowProcA(window, message, wParam, lParam);

  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  {
    std::lock_guard<std::mutex> guard(spectrumPixelsLock);
    const BITMAPINFOHEADER &header = view->header;
    const std::uint8_t *pixels = view->pixels;
    // Spectrum rows are exactly 3 * width bytes; a device-independent bitmap's are padded to 4.
    // Widths 1 and 2 differ, so those rows are copied into padded ones first.
    std::vector<std::uint8_t> padded;
    const size_t rowBytes = static_cast<size_t>(header.biWidth) * 3;
    if (view == &spectrumView && rowBytes % 4 != 0 && header.biHeight > 0) {
      const auto paddedBytes =
          static_cast<size_t>(dibRowBytes(static_cast<std::uint64_t>(header.biWidth)));
      padded.assign(paddedBytes * static_cast<size_t>(header.biHeight), 0);
      for (size_t row = 0; row < static_cast<size_t>(header.biHeight); ++row) {
        std::memcpy(&padded[row * paddedBytes], pixels + row * rowBytes, rowBytes);
      }
      pixels = padded.data();
    }
    SetDIBitsToDevice(dc, 0, 0, header.biWidth, header.biHeight, 0, 0, 0, header.biHeight, pixels,
                      reinterpret_cast<const BITMAPINFO *>(&header), DIB_RGB_COLORS);
  }
  EndPaint(window, &paint);
  return 0;
}
