// The open dialog: the common dialog library's GetOpenFileNameA, always there to be shown.
#include "platform/file_chooser.h"

#include <vector>

#include "win32.h"
// clang-format off
#include <commdlg.h>
// clang-format on

bool fileChooserAvailable() {
  return true;
}

FileChoice chooseBitmapFile(std::size_t longestPath) {
  std::vector<char> file(longestPath + 1, '\0');
  char fileTitle[64] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFilter = kBitmapFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrFileTitle = fileTitle;
  dialog.nMaxFileTitle = sizeof fileTitle - 1;
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (GetOpenFileNameA(&dialog) == 0) return FileChoice{false, ""};
  return FileChoice{true, file.data()};
}
