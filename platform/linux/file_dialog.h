// The open-file dialog: the fields of OPENFILENAMEA that the program sets, and the call.
#pragma once

#include "win32.h"

constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

struct OPENFILENAMEA {
  DWORD lStructSize;
  HWND hwndOwner;
  const char *lpstrFilter;  // pairs of NUL-terminated strings: name, pattern; ends with "\0\0"
  DWORD nFilterIndex;       // 1-based pair shown first
  char *lpstrFile;          // receives the full path
  DWORD nMaxFile;
  char *lpstrFileTitle;  // receives the bare file name
  DWORD nMaxFileTitle;
  const char *lpstrInitialDir;
  const char *lpstrTitle;
  DWORD Flags;
  const char *lpstrDefExt;
};

// Lets the user choose an existing file; nonzero with the path filled in, 0 when cancelled.
BOOL GetOpenFileNameA(OPENFILENAMEA *dialog);
