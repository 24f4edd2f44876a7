// Placeholder window backend until the Xlib one lands: no window class can be registered.
#include <thread>

#include "platform/win32.h"

ATOM RegisterClassExA(const WNDCLASSEXA *) { return 0; }
HWND CreateWindowExA(DWORD, const char *, const char *, DWORD, int, int, int, int, HWND, HMENU,
                     HINSTANCE, void *) {
  return nullptr;
}
LONG_PTR SetWindowLongA(HWND, int, LONG_PTR) { return 0; }
LONG_PTR GetWindowLongA(HWND, int) { return 0; }
int GetSystemMetrics(int) { return 0; }
BOOL GetMessageA(MSG *, HWND, UINT, UINT) { return 0; }
BOOL TranslateMessage(const MSG *) { return 0; }
LRESULT DispatchMessageA(const MSG *) { return 0; }
LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
HDC BeginPaint(HWND, PAINTSTRUCT *) { return nullptr; }
BOOL EndPaint(HWND, const PAINTSTRUCT *) { return 1; }
int SetDIBitsToDevice(HDC, int, int, DWORD, DWORD, int, int, UINT, UINT, const void *,
                      const BITMAPINFO *, UINT) {
  return 0;
}
BOOL InvalidateRect(HWND, const RECT *, BOOL) { return 0; }
LRESULT SendMessageA(HWND, UINT, WPARAM, LPARAM) { return 0; }
std::uintptr_t _beginthread(void (*)(void *), unsigned, void *) {
  return static_cast<std::uintptr_t>(-1);
}
