// The desktop's open dialog: GTK 3's file chooser, when GTK can open a display.
#include "platform/linux/desktop_dialog.h"

#include <gtk/gtk.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/dialog_filters.h"
#include "platform/linux/session_bus.h"

namespace {

// GTK's custom filter callback over one pair's patterns.
gboolean filterMatches(const GtkFileFilterInfo *info, gpointer data) {
  const auto *filter = static_cast<const DialogFilter *>(data);
  return info->display_name && matchesDialogPatterns(info->display_name, filter->patterns);
}

bool existingFile(const char *path) {
  struct stat status;
  return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

bool copyText(const char *text, char *buffer, DWORD capacity) {
  const size_t length = std::strlen(text);
  if (!buffer || length >= capacity) return false;
  std::memcpy(buffer, text, length + 1);
  return true;
}

// GTK starts once a process; its answer holds for every later dialog.
bool gtkStarted() {
  static const bool started = [] {
    // The program's number formats need LC_NUMERIC "C"; GTK must not set the locale itself.
    gtk_disable_setlocale();
    chooseSettingsBackend();
    // GTK's X11 backend sets up OpenGL when it opens the display, which maps Mesa's renderer and
    // LLVM (tens of MB) for a dialog that draws nothing with GL; the user's own choice stands.
    setenv("GDK_GL", "disable", 0);
    const bool opened = gtk_init_check(nullptr, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    return opened;
  }();
  return started;
}

// Lets the dialog vanish from the screen before anything else is shown.
void finishDialog(GtkWidget *chooser) {
  gtk_widget_destroy(chooser);
  while (gtk_events_pending()) gtk_main_iteration();
  gdk_display_sync(gdk_display_get_default());
  while (gtk_events_pending()) gtk_main_iteration();
}

}  // namespace

// GTK, GLib and fontconfig keep caches for the life of the process; under LeakSanitizer they
// would read as leaks of ours.
extern "C" const char *__lsan_default_suppressions() {
  return "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libfontconfig.so\nleak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\nleak:libgio-2.0.so\nleak:libpango\nleak:libcairo.so\n";
}

DesktopDialogResult desktopChooseFile(OPENFILENAMEA *dialog) {
  if (!dialog || !dialog->lpstrFile || dialog->nMaxFile == 0 || !gtkStarted()) {
    return DesktopDialogResult::unavailable;
  }
  GtkWidget *chooser = gtk_file_chooser_dialog_new(
      dialog->lpstrTitle ? dialog->lpstrTitle : "開く", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN,
      "キャンセル(_C)", GTK_RESPONSE_CANCEL, "開く(_O)", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser *files = GTK_FILE_CHOOSER(chooser);
  gtk_file_chooser_set_local_only(files, TRUE);
  gtk_file_chooser_set_select_multiple(files, FALSE);
  if (dialog->lpstrInitialDir) {
    gtk_file_chooser_set_current_folder(files, dialog->lpstrInitialDir);
  } else {
    gchar *here = g_get_current_dir();
    gtk_file_chooser_set_current_folder(files, here);
    g_free(here);
  }

  // The pairs outlive the dialog, whose filters point at them.
  const std::vector<DialogFilter> filters = parseDialogFilters(dialog->lpstrFilter);
  for (size_t i = 0; i < filters.size(); ++i) {
    GtkFileFilter *filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, filters[i].name.c_str());
    gtk_file_filter_add_custom(filter, GTK_FILE_FILTER_DISPLAY_NAME, filterMatches,
                               const_cast<DialogFilter *>(&filters[i]), nullptr);
    gtk_file_chooser_add_filter(files, filter);
    if (i + 1 == dialog->nFilterIndex || (i == 0 && dialog->nFilterIndex == 0)) {
      gtk_file_chooser_set_filter(files, filter);
    }
  }

  // A choice that is no existing file, or whose path does not fit, leaves the dialog open, as
  // the Windows dialog does for OFN_FILEMUSTEXIST.
  const DWORD capacity = dialog->nMaxFile < 256 ? dialog->nMaxFile : 256;
  DesktopDialogResult result = DesktopDialogResult::cancelled;
  while (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar *path = gtk_file_chooser_get_filename(files);
    const bool taken = path && existingFile(path) && copyText(path, dialog->lpstrFile, capacity);
    if (taken && dialog->lpstrFileTitle) {
      gchar *name = g_path_get_basename(path);
      if (!copyText(name, dialog->lpstrFileTitle, dialog->nMaxFileTitle) &&
          dialog->nMaxFileTitle > 0) {
        dialog->lpstrFileTitle[0] = '\0';
      }
      g_free(name);
    }
    g_free(path);
    if (taken) {
      result = DesktopDialogResult::chosen;
      break;
    }
  }
  finishDialog(chooser);
  return result;
}
