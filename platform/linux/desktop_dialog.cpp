// The desktop's open dialog: GTK 3's file chooser, when GTK can open a display, shown by a child
// process of its own.
#include "platform/linux/desktop_dialog.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/dialog_filters.h"
#include "platform/linux/session_bus.h"
#include "platform/linux/whole_io.h"

namespace {

// The GTK calls the dialog makes. They are looked up when a dialog is first shown, in the process
// that shows it: the program itself never loads GTK and the seventy libraries it pulls in, which
// would cost every run, a batch run too, some 20 ms at start-up and 10 MB of memory.
// clang-format off
#define GTK_CALLS(X)                                                                     \
  X(gtk_disable_setlocale) X(gtk_init_check) X(gtk_events_pending) X(gtk_main_iteration) \
  X(gtk_widget_destroy) X(gdk_display_get_default) X(gdk_display_sync)                   \
  X(gtk_file_chooser_dialog_new) X(gtk_file_chooser_set_local_only)                      \
  X(gtk_file_chooser_set_select_multiple) X(gtk_file_chooser_set_current_folder)         \
  X(gtk_file_chooser_get_filename) X(gtk_file_filter_new) X(gtk_file_filter_set_name)    \
  X(gtk_file_filter_add_custom) X(gtk_file_chooser_add_filter)                           \
  X(gtk_file_chooser_set_filter) X(gtk_dialog_run) X(g_get_current_dir)                  \
  X(g_free)
// clang-format on

struct GtkCalls {
#define GTK_CALL_FIELD(name) decltype(&::name) name;
  GTK_CALLS(GTK_CALL_FIELD)
#undef GTK_CALL_FIELD
};

GtkCalls gtk;

// True when GTK's library and every call above were found.
bool gtkLoaded() {
  // Global, as if linked: GTK's own modules (input methods, image loaders) expect to see it.
  void *library = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) return false;
#define GTK_CALL_LOOKUP(name)                                             \
  gtk.name = reinterpret_cast<decltype(gtk.name)>(dlsym(library, #name)); \
  if (gtk.name == nullptr) return false;
  GTK_CALLS(GTK_CALL_LOOKUP)
#undef GTK_CALL_LOOKUP
  return true;
}

// GTK's custom filter callback over one pair's patterns.
gboolean filterMatches(const GtkFileFilterInfo *info, gpointer data) {
  const auto *filter = static_cast<const DialogFilter *>(data);
  return info->display_name && matchesDialogPatterns(info->display_name, filter->patterns);
}

bool existingFile(const char *path) {
  struct stat status;
  return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

// GTK starts once a process; its answer holds for every later dialog.
bool gtkStarted() {
  static const bool started = [] {
    if (!gtkLoaded()) return false;
    // The program's number formats need LC_NUMERIC "C"; GTK must not set the locale itself.
    gtk.gtk_disable_setlocale();
    chooseSettingsBackend();
    // GTK's X11 backend sets up OpenGL when it opens the display, which maps Mesa's renderer and
    // LLVM (tens of MB) for a dialog that draws nothing with GL; the user's own choice stands.
    setenv("GDK_GL", "disable", 0);
    const bool opened = gtk.gtk_init_check(nullptr, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    return opened;
  }();
  return started;
}

// Lets the dialog vanish from the screen before anything else is shown.
void finishDialog(GtkWidget *chooser) {
  gtk.gtk_widget_destroy(chooser);
  while (gtk.gtk_events_pending()) gtk.gtk_main_iteration();
  gtk.gdk_display_sync(gtk.gdk_display_get_default());
  while (gtk.gtk_events_pending()) gtk.gtk_main_iteration();
}

DesktopDialogResult showDialog(const char *filter, std::size_t longestPath, std::string *path) {
  if (!gtkStarted()) return DesktopDialogResult::unavailable;
  GtkWidget *chooser = gtk.gtk_file_chooser_dialog_new(
      "開く", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "キャンセル(_C)", GTK_RESPONSE_CANCEL,
      "開く(_O)", GTK_RESPONSE_ACCEPT, nullptr);
  // Plain casts: the checked cast macros would call into GTK by name.
  auto *files = reinterpret_cast<GtkFileChooser *>(chooser);
  gtk.gtk_file_chooser_set_local_only(files, TRUE);
  gtk.gtk_file_chooser_set_select_multiple(files, FALSE);
  gchar *here = gtk.g_get_current_dir();
  gtk.gtk_file_chooser_set_current_folder(files, here);
  gtk.g_free(here);

  // The pairs outlive the dialog, whose filters point at them.
  const std::vector<DialogFilter> filters = parseDialogFilters(filter);
  for (size_t i = 0; i < filters.size(); ++i) {
    GtkFileFilter *shown = gtk.gtk_file_filter_new();
    gtk.gtk_file_filter_set_name(shown, filters[i].name.c_str());
    gtk.gtk_file_filter_add_custom(shown, GTK_FILE_FILTER_DISPLAY_NAME, filterMatches,
                                   const_cast<DialogFilter *>(&filters[i]), nullptr);
    gtk.gtk_file_chooser_add_filter(files, shown);
    if (i == 0) gtk.gtk_file_chooser_set_filter(files, shown);
  }

  // A choice that is no existing file, or whose path is too long, leaves the dialog open, as the
  // Windows dialog does for a file that must exist.
  DesktopDialogResult result = DesktopDialogResult::cancelled;
  while (gtk.gtk_dialog_run(reinterpret_cast<GtkDialog *>(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar *chosen = gtk.gtk_file_chooser_get_filename(files);
    const bool taken = chosen && existingFile(chosen) && std::strlen(chosen) <= longestPath;
    if (taken) *path = chosen;
    gtk.g_free(chosen);
    if (taken) {
      result = DesktopDialogResult::chosen;
      break;
    }
  }
  finishDialog(chooser);
  return result;
}

std::string readAll(int fd) {
  std::string bytes;
  char buffer[512];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return bytes;
    bytes.append(buffer, static_cast<size_t>(got));
  }
}

// The child's answer: the result, then the chosen path.
std::string answerOf(DesktopDialogResult result, const std::string &path) {
  return std::string(1, static_cast<char>(result)) + path;
}

// Takes the child's answer; a child that ended without one (it crashed) leaves the choice to the
// terminal.
DesktopDialogResult takeAnswer(const std::string &answer, std::size_t longestPath,
                               std::string *path) {
  if (answer.empty()) return DesktopDialogResult::unavailable;
  const auto result = static_cast<DesktopDialogResult>(answer[0]);
  if (result == DesktopDialogResult::cancelled) return result;
  if (result != DesktopDialogResult::chosen || answer.size() - 1 > longestPath ||
      answer.find('\0', 1) != std::string::npos) {
    return DesktopDialogResult::unavailable;
  }
  *path = answer.substr(1);
  return result;
}

}  // namespace

// GTK's libraries, threads and caches (tens of MB) stay in the child and end with it: the program
// never carries them. The program has no thread yet when it asks, so the child may run GTK.
DesktopDialogResult desktopChooseFile(const char *filter, std::size_t longestPath,
                                      std::string *path) {
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) return showDialog(filter, longestPath, path);
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    return showDialog(filter, longestPath, path);
  }
  if (child == 0) {
    close(channel[0]);
    // The dialog ends with the program, however the program ends (a signal, a kill): nobody
    // would be left to read its answer.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    std::string chosen;
    const DesktopDialogResult result = showDialog(filter, longestPath, &chosen);
    _exit(writeAll(channel[1], answerOf(result, chosen)) ? 0 : 1);
  }
  close(channel[1]);
  const std::string answer = readAll(channel[0]);
  close(channel[0]);
  int status;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return takeAnswer(answer, longestPath, path);
}
