// The GTK open dialog under a private Xvfb server: its filters, a choice typed with xdotool,
// cancelling, and falling back when there is no display. The dialog runs in a child process:
// what a test looks at from inside the dialog's loop comes back through a file.
#include "platform/linux/desktop_dialog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_chooser.h"
#include "tests/display/x_server.h"
#include "tests/support/temp_folder.h"

namespace {

// Written from inside the dialog's loop, in the dialog's process; read by the test afterwards.
void reportFromDialog(const std::string &text) {
  std::ofstream(testPath("from-dialog.txt")) << text;
}

std::string reportedFromDialog() {
  std::ifstream report(testPath("from-dialog.txt"));
  if (!report) return "(nothing reported: the dialog was never shown)";
  return std::string((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
}

// The value of one "name=value" line of the report.
std::string reportedValue(const std::string &name) {
  std::istringstream report(reportedFromDialog());
  std::string line;
  while (std::getline(report, line)) {
    if (line.starts_with(name + "=")) return line.substr(name.size() + 1);
  }
  return "(not reported) " + reportedFromDialog();
}

class DesktopDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    startWatchdog(std::chrono::seconds(90));
    folder = std::filesystem::path(testFolder()) / "pictures";
    std::filesystem::create_directories(folder);
    for (const char *name : {"picture.BMP", "other.bmp", "notes.txt", "README"}) {
      std::ofstream(folder / name) << "x";
    }
  }

  void TearDown() override {
    probe.reset();
    stopXvfb(server);
    std::filesystem::remove_all(folder);
  }

  void startServer() {
    ASSERT_TRUE(startXvfb(server));
    setenv("DISPLAY", server.name.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    // No accessibility bus in a bare test session; GTK would only warn about it.
    setenv("NO_AT_BRIDGE", "1", 1);
    // Nor a session bus for GTK to keep its settings through.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    // What GTK keeps between runs (recent files, settings) stays in this process's folder.
    setenv("XDG_DATA_HOME", testPath("data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", testPath("config").c_str(), 1);
    setenv("XDG_CACHE_HOME", testPath("cache").c_str(), 1);
    probe = openProbe(server.name);
    ASSERT_TRUE(probe);
  }

  bool dialogOnScreen() {
    for (const TopWindow &window : topWindows(*probe)) {
      if (window.viewable && window.netWmName == "開く") return true;
    }
    return false;
  }

  std::filesystem::path folder;
  XvfbServer server;
  ProbeHandle probe;
};

TEST_F(DesktopDialog, TypedPathOfAnExistingFileIsChosen) {
  startServer();
  if (HasFatalFailure()) return;
  const std::string wanted = (folder / "picture.BMP").string();
  // A file whose full path is longer than 255 characters does not fit the program's buffer.
  const std::filesystem::path deep = folder / std::string(120, 'd') / std::string(120, 'e');
  std::filesystem::create_directories(deep);
  std::ofstream(deep / "long.bmp") << "x";
  ASSERT_GT((deep / "long.bmp").string().size(), 255u);
  // Neither that nor a name that does not exist is taken; the dialog stays open for the next.
  const pid_t typist = runBeside(typePaths(
      getpid(), {(folder / "missing.bmp").string(), (deep / "long.bmp").string(), wanted}));
  ASSERT_GT(typist, 0);
  std::string chosen;
  const DesktopDialogResult result = desktopChooseFile(kBitmapFilter, 255, &chosen);
  // Gone from the screen as soon as the call returns.
  EXPECT_FALSE(dialogOnScreen());
  EXPECT_EQ(waitExit(typist), 0);
  ASSERT_EQ(result, DesktopDialogResult::chosen);
  EXPECT_EQ(chosen, wanted);
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  char number[32];
  std::snprintf(number, sizeof number, "%f", 1.5);
  EXPECT_STREQ(number, "1.500000");
}

TEST_F(DesktopDialog, CancelChoosesNothing) {
  startServer();
  if (HasFatalFailure()) return;
  // Escape again only when the dialog is still shown long after the last one.
  const pid_t typist =
      runBeside(findDialog(getpid()) +
                " && for attempt in 1 2 3; do focus \"$id\"; "
                "xdotool key Escape && within 8 dialog_gone && exit 0; done; exit 1");
  ASSERT_GT(typist, 0);
  std::string chosen = "untouched";
  EXPECT_EQ(desktopChooseFile(kBitmapFilter, 255, &chosen), DesktopDialogResult::cancelled);
  EXPECT_EQ(waitExit(typist), 0);
  EXPECT_EQ(chosen, "untouched");
  EXPECT_FALSE(dialogOnScreen());
  // GTK never opened a display in this process: the dialog had a process of its own.
  EXPECT_EQ(gdk_display_get_default(), nullptr);
}

// The dialog's own process ends with the program's, even when the program is killed outright.
TEST_F(DesktopDialog, TheDialogEndsWithTheProgram) {
  startServer();
  if (HasFatalFailure()) return;
  const pid_t program = fork();
  ASSERT_GE(program, 0);
  if (program == 0) {
    std::string chosen;
    desktopChooseFile(kBitmapFilter, 255, &chosen);
    _exit(0);
  }
  const pid_t finder = runBeside(findDialog(program));
  ASSERT_GT(finder, 0);
  const int found = waitExit(finder, program);
  ASSERT_TRUE(found == 0 && dialogOnScreen()) << "no dialog appeared";
  kill(program, SIGKILL);
  waitpid(program, nullptr, 0);
  EXPECT_TRUE(waitFor([&] { return !dialogOnScreen(); })) << "the dialog outlived the program";
}

std::string joined(const std::vector<std::string> &items) {
  std::string text;
  for (const std::string &item : items) text += (text.empty() ? "" : " | ") + item;
  return text;
}

// What the shown dialog offers, reported from inside its own loop; then cancels it.
gboolean inspectDialog(gpointer) {
  bool found = false;
  GList *windows = gtk_window_list_toplevels();
  for (GList *item = windows; item; item = item->next) {
    if (!GTK_IS_FILE_CHOOSER(item->data)) continue;
    GtkFileChooser *chooser = GTK_FILE_CHOOSER(item->data);
    std::vector<std::string> names, matched[2];
    GSList *filters = gtk_file_chooser_list_filters(chooser);
    int index = 0;
    for (GSList *f = filters; f; f = f->next, ++index) {
      GtkFileFilter *filter = GTK_FILE_FILTER(f->data);
      names.push_back(gtk_file_filter_get_name(filter));
      for (const char *name : {"a.bmp", "B.BMP", "c.Bmp", "d.txt", "README", "x.bmp.txt"}) {
        GtkFileFilterInfo info{};
        info.contains = GTK_FILE_FILTER_DISPLAY_NAME;
        info.display_name = name;
        if (index < 2 && gtk_file_filter_filter(filter, &info)) matched[index].push_back(name);
      }
    }
    g_slist_free(filters);
    GtkFileFilter *selected = gtk_file_chooser_get_filter(chooser);
    reportFromDialog("names=" + joined(names) +
                     "\nselected=" + (selected ? gtk_file_filter_get_name(selected) : "") +
                     "\nfirst=" + joined(matched[0]) + "\nsecond=" + joined(matched[1]) + "\n");
    found = true;
    gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_CANCEL);
  }
  g_list_free(windows);
  return found ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

TEST_F(DesktopDialog, OffersBothFiltersWithTheBmpOneFirst) {
  startServer();
  if (HasFatalFailure()) return;
  g_timeout_add(200, inspectDialog, nullptr);
  std::string chosen;
  EXPECT_EQ(desktopChooseFile(kBitmapFilter, 255, &chosen), DesktopDialogResult::cancelled);
  EXPECT_EQ(reportedValue("names"), "BMPファイル(*.bmp) | すべてのファイル(*.*)");
  EXPECT_EQ(reportedValue("selected"), "BMPファイル(*.bmp)");
  EXPECT_EQ(reportedValue("first"), "a.bmp | B.BMP | c.Bmp");
  EXPECT_EQ(reportedValue("second"), "a.bmp | B.BMP | c.Bmp | d.txt | README | x.bmp.txt");
}

// The OpenGL libraries mapped into this process: GL's dispatch, Mesa's renderers and the LLVM
// they use.
std::vector<std::string> mappedGlLibraries() {
  std::vector<std::string> found;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    const size_t slash = line.rfind('/');
    if (slash == std::string::npos) continue;
    const std::string name = line.substr(slash + 1);
    const bool gl = name.starts_with("libGL") || name.starts_with("libEGL") ||
                    name.starts_with("libLLVM") || name.find("_dri.so") != std::string::npos;
    if (gl && std::find(found.begin(), found.end(), name) == found.end()) found.push_back(name);
  }
  return found;
}

// The dialog process's settings and the OpenGL libraries it has mapped, reported once the dialog
// is on screen; then cancels it.
gboolean reportAndCancel(gpointer) {
  bool found = false;
  GList *windows = gtk_window_list_toplevels();
  for (GList *item = windows; item; item = item->next) {
    if (!GTK_IS_FILE_CHOOSER(item->data) || !gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
      continue;
    }
    const char *gl = std::getenv("GDK_GL");
    const char *settings = std::getenv("GSETTINGS_BACKEND");
    reportFromDialog(std::string("GDK_GL=") + (gl ? gl : "(unset)") +
                     "\nGSETTINGS_BACKEND=" + (settings ? settings : "(unset)") +
                     "\nGL libraries=" + joined(mappedGlLibraries()) + "\n");
    gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_CANCEL);
    found = true;
  }
  g_list_free(windows);
  return found ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

// The dialog draws nothing with OpenGL: GTK is kept from setting it up, which would map Mesa's
// renderer and LLVM; a GDK_GL the user has set is left as it is.
TEST_F(DesktopDialog, OpensWithoutOpenGl) {
  startServer();
  if (HasFatalFailure()) return;
  unsetenv("GDK_GL");
  g_timeout_add(200, reportAndCancel, nullptr);
  std::string chosen;
  EXPECT_EQ(desktopChooseFile(kBitmapFilter, 255, &chosen), DesktopDialogResult::cancelled);
  EXPECT_EQ(reportedValue("GL libraries"), "");
  EXPECT_EQ(reportedValue("GDK_GL"), "disable");
}

TEST_F(DesktopDialog, KeepsTheUsersOpenGlSetting) {
  startServer();
  if (HasFatalFailure()) return;
  setenv("GDK_GL", "software-draw", 1);
  g_timeout_add(200, reportAndCancel, nullptr);
  std::string chosen;
  EXPECT_EQ(desktopChooseFile(kBitmapFilter, 255, &chosen), DesktopDialogResult::cancelled);
  EXPECT_EQ(reportedValue("GDK_GL"), "software-draw");
}

// As over ssh -X or under a bare window manager: no session bus, and no settings backend chosen
// by the user. GLib's dconf backend would warn on the terminal.
TEST_F(DesktopDialog, WithoutASessionBusNothingReachesTheTerminal) {
  startServer();
  if (HasFatalFailure()) return;
  unsetenv("GSETTINGS_BACKEND");
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string runtime = testPath("runtime");
  std::filesystem::create_directories(runtime);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

  const std::string log = testPath("stderr.txt");
  std::fflush(stderr);
  const int saved = dup(2);
  const int file = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  dup2(file, 2);
  close(file);
  g_timeout_add(1000, reportAndCancel, nullptr);
  std::string chosen;
  const DesktopDialogResult result = desktopChooseFile(kBitmapFilter, 255, &chosen);
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);

  EXPECT_EQ(result, DesktopDialogResult::cancelled);
  std::ifstream written(log);
  const std::string errors((std::istreambuf_iterator<char>(written)),
                           std::istreambuf_iterator<char>());
  EXPECT_EQ(errors.find("dconf"), std::string::npos) << errors;
  EXPECT_EQ(reportedValue("GSETTINGS_BACKEND"), "memory");
}

TEST(DesktopDialogWithoutDisplay, LeavesTheChoiceToTheTerminal) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  std::string chosen;
  EXPECT_EQ(desktopChooseFile(kBitmapFilter, 255, &chosen), DesktopDialogResult::unavailable);
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

}  // namespace
