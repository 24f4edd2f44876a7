// The subset of the Windows types and window calls that the program uses, realised over Xlib.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using ATOM = WORD;
using LONG_PTR = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Handles are opaque; each backend defines the records behind them.
using HWND = struct WindowRecord *;
using HDC = struct PaintContext *;
using HINSTANCE = void *;
using HMENU = void *;
using HICON = void *;
using HCURSOR = void *;
using HBRUSH = void *;

// The 40-byte information header of a device-independent bitmap, as stored in a BMP file.
#pragma pack(push, 2)
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// Painting passes the address of a header as this; no colour table follows for 24-bit images.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
};

struct RECT {
  LONG left, top, right, bottom;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  const char *lpszMenuName;
  const char *lpszClassName;
  HICON hIconSm;
};

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr UINT DIB_RGB_COLORS = 0;

ATOM RegisterClassExA(const WNDCLASSEXA *windowClass);
HWND CreateWindowExA(DWORD exStyle, const char *className, const char *title, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void *param);
// The program has no module handle of its own on Linux: null, which the window calls accept.
HINSTANCE GetModuleHandleA(const char *moduleName);
// Slot 0 is pointer-sized, so the value is a LONG_PTR.
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
int GetSystemMetrics(int index);
// The window's outer rectangle on the screen, as it was asked for.
BOOL GetWindowRect(HWND window, RECT *rect);
BOOL GetMessageA(MSG *message, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG *message);
LRESULT DispatchMessageA(const MSG *message);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HDC BeginPaint(HWND window, PAINTSTRUCT *paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT *paint);
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT lines, const void *bits, const BITMAPINFO *info,
                      UINT colorUse);
// Safe from any thread: asks the display thread for a later paint.
BOOL InvalidateRect(HWND window, const RECT *rect, BOOL erase);
// Safe from any thread: returns once the window's own thread has handled the message.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Starts routine(argument) on a detached thread; returns (uintptr_t)-1 when it cannot start.
std::uintptr_t _beginthread(void (*routine)(void *), unsigned stackSize, void *argument);
