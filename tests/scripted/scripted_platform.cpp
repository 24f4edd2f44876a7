// Scripted file dialog, and window calls that behave as when no display exists.
#include "tests/scripted/scripted_platform.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>

#include "file_dialog.h"
#include "platform/file_chooser.h"
#include "platform/png_file.h"
#include "platform/translate.h"
#include "win32.h"

bool fileChooserAvailable() {
  return true;
}

BOOL GetOpenFileNameA(OPENFILENAMEA *dialog) {
  if (scriptedChosenPath.empty() || scriptedChosenPath.size() >= dialog->nMaxFile) return 0;
  std::memcpy(dialog->lpstrFile, scriptedChosenPath.c_str(), scriptedChosenPath.size() + 1);
  return 1;
}

ATOM RegisterClassExA(const WNDCLASSEXA *) {
  return 0;
}
HWND CreateWindowExA(DWORD, const char *, const char *, DWORD, int, int, int, int, HWND, HMENU,
                     HINSTANCE, void *) {
  return nullptr;
}
HINSTANCE GetModuleHandleA(const char *) {
  return nullptr;
}
LONG_PTR SetWindowLongPtrA(HWND, int, LONG_PTR) {
  return 0;
}
LONG_PTR GetWindowLongPtrA(HWND, int) {
  return 0;
}
int GetSystemMetrics(int) {
  return 0;
}
BOOL GetWindowRect(HWND, RECT *) {
  return 0;
}
BOOL GetMessageA(MSG *, HWND, UINT, UINT) {
  return 0;
}
BOOL TranslateMessage(const MSG *) {
  return 0;
}
LRESULT DispatchMessageA(const MSG *) {
  return 0;
}
LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}
HDC BeginPaint(HWND, PAINTSTRUCT *) {
  return nullptr;
}
BOOL EndPaint(HWND, const PAINTSTRUCT *) {
  return 1;
}
int SetDIBitsToDevice(HDC, int, int, DWORD, DWORD, int, int, UINT, UINT, const void *,
                      const BITMAPINFO *, UINT) {
  return 0;
}
BOOL InvalidateRect(HWND, const RECT *, BOOL) {
  return 0;
}
LRESULT SendMessageA(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}
std::uintptr_t _beginthread(void (*routine)(void *), unsigned, void *argument) {
  std::thread(routine, argument).detach();
  return 0;
}

// Unit tests write BMP files only; the PNG writer is the real backend's.
bool writePngFile(const char *, int, int, const std::uint8_t *) {
  errno = ENOTSUP;
  return false;
}

void startTranslation() {}
const char *translate(const char *english) {
  return english;
}
