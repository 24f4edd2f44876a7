// The open dialog: the common dialog library's GetOpenFileNameA, always there to be shown.
#include "platform/file_chooser.h"

#include <string>
#include <vector>

#include "win32.h"
// clang-format off
#include <commdlg.h>
// clang-format on

bool fileChooserAvailable() {
  return true;
}

FileChoice chooseBitmapFile(std::size_t longestPath) {
  // One byte more than a taken path needs: a path that fills it was cut by the dialog.
  std::vector<char> file(longestPath + 2, '\0');
  // The dialog starts in the current folder, and leaves it the current one, so that a relative
  // path given later still means what the user meant.
  std::vector<char> here(MAX_PATH + 1, '\0');
  const DWORD hereLength = GetCurrentDirectoryA(static_cast<DWORD>(here.size()), here.data());
  char fileTitle[64] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFilter = kBitmapFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrFileTitle = fileTitle;
  dialog.nMaxFileTitle = sizeof fileTitle - 1;
  dialog.lpstrInitialDir = hereLength > 0 && hereLength < here.size() ? here.data() : nullptr;
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (GetOpenFileNameA(&dialog) == 0) return FileChoice{false, ""};
  file.back() = '\0';
  const std::string path = file.data();
  // Too long for the program to take: as though nothing were chosen.
  if (path.size() > longestPath) return FileChoice{false, ""};
  return FileChoice{true, path};
}
