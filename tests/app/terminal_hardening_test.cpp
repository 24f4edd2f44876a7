// The terminal's settings under signals and a hang-up while computing, and under job control.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/program_session.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char kModeLine[] = "\n log表示=";
constexpr char kRangeLine[] = " 縦横FFT後　max ";
constexpr char kChooserPrompt[] = "Enter to cancel: ";

// Every setting a program could leave changed.
void expectSameSettings(const termios &after, const termios &before) {
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  for (int i = 0; i < NCCS; ++i) EXPECT_EQ(after.c_cc[i], before.c_cc[i]) << "c_cc[" << i << "]";
}

class TerminalHardening : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = testFolder();
    // Large enough that each computation takes a while.
    bigPicture_ = folder_ + "/big.bmp";
    writeFile(bigPicture_, bmpPicture(1024, 1024, [](int x, int row) {
                return static_cast<std::uint32_t>((x * 7 + row * 3) & 0xFF) * 0x010101u;
              }));
    smallPicture_ = folder_ + "/small.bmp";
    writeFile(smallPicture_, bmpPicture(4, 4, [](int x, int) { return 0x202020u * x; }));
  }
  void TearDown() override { closeSession(session_); }

  // Starts the program, picks the picture (or gives it on the command line) and waits for the
  // first prompt; before holds the terminal's settings from the start.
  void startWith(const std::string &picture, termios &before, bool onCommandLine = false) {
    closeSession(session_);
    SessionOptions options;
    options.folder = folder_;
    if (onCommandLine) options.arguments = {picture};
    session_ = startProgram(options);
    tcgetattr(session_.slave, &before);
    if (!onCommandLine) {
      ASSERT_TRUE(waitForTerminal(session_, kChooserPrompt));
      typeKeys(session_, picture + "\n");
    }
    ASSERT_TRUE(waitForStdout(session_, kPrompt, 1, 30000)) << session_.stdoutText;
  }

  static std::string folder_, bigPicture_, smallPicture_;
  ProgramSession session_;
};

std::string TerminalHardening::folder_;
std::string TerminalHardening::bigPicture_;
std::string TerminalHardening::smallPicture_;

// Commands typed ahead keep the program computing back to back, with the terminal in key mode:
// a signal sent then arrives while it computes.
constexpr int kTypedAhead = 40;
std::string commandsTypedAhead() {
  std::string keys;
  for (int i = 0; i < kTypedAhead; ++i) keys += (i % 2 == 0) ? '2' : '1';
  return keys;
}

TEST_F(TerminalHardening, SignalsWhileComputingRestoreTheTerminal) {
  const int signals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
  for (int signal : signals) {
    SCOPED_TRACE(strsignal(signal));
    termios before{};
    ASSERT_NO_FATAL_FAILURE(startWith(bigPicture_, before));
    typeKeys(session_, commandsTypedAhead());
    ASSERT_TRUE(waitForStdout(session_, kModeLine, 2, 30000));
    termios during{};
    tcgetattr(session_.slave, &during);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);  // the settings to restore are changed
    kill(session_.pid, signal);
    EXPECT_EQ(waitForExit(session_, 30000), 128 + signal);
    // Killed amid the commands, not after them.
    EXPECT_LT(countOf(session_.stdoutText, kRangeLine), static_cast<size_t>(kTypedAhead) + 1);
    termios after{};
    ASSERT_EQ(tcgetattr(session_.slave, &after), 0);
    expectSameSettings(after, before);
  }
}

// Waits until the program has put the terminal into key mode (or given up waiting).
bool inKeyMode(ProgramSession &session) {
  return pumpUntil(
      session,
      [&] {
        termios now{};
        return tcgetattr(session.slave, &now) == 0 && (now.c_lflag & (ICANON | ECHO)) == 0;
      },
      10000);
}

// Every signal whose default ends the program restores the terminal first and ends by it.
TEST_F(TerminalHardening, EveryEndingSignalAtThePromptRestoresTheTerminal) {
  std::vector<int> signals{SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,  SIGXCPU,
                           SIGABRT, SIGTRAP, SIGSYS,  SIGPWR,    SIGRTMIN, SIGRTMAX};
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The sanitizers keep these for their own reports.
  signals.insert(signals.end(), {SIGSEGV, SIGBUS, SIGFPE, SIGILL});
#endif
  for (int signal : signals) {
    SCOPED_TRACE(strsignal(signal));
    termios before{};
    ASSERT_NO_FATAL_FAILURE(startWith(smallPicture_, before, true));
    ASSERT_TRUE(inKeyMode(session_));
    kill(session_.pid, signal);
    EXPECT_EQ(waitForExit(session_, 10000), 128 + signal);
    termios after{};
    ASSERT_EQ(tcgetattr(session_.slave, &after), 0);
    expectSameSettings(after, before);
  }
}

// The terminal's interrupt and quit keys, read as bytes in key mode, still interrupt and quit.
TEST_F(TerminalHardening, CtrlCAndCtrlBackslashEndTheProgramAsTheirSignals) {
  const struct {
    const char *key;
    int signal;
  } cases[] = {{"\x03", SIGINT}, {"\x1c", SIGQUIT}};
  for (const auto &c : cases) {
    SCOPED_TRACE(strsignal(c.signal));
    termios before{};
    ASSERT_NO_FATAL_FAILURE(startWith(smallPicture_, before, true));
    ASSERT_TRUE(inKeyMode(session_));
    typeKeys(session_, c.key);
    EXPECT_EQ(waitForExit(session_, 10000), 128 + c.signal);
    EXPECT_EQ(countOf(session_.stdoutText, kPrompt), 1u);  // no second prompt
    termios after{};
    ASSERT_EQ(tcgetattr(session_.slave, &after), 0);
    expectSameSettings(after, before);
  }
}

// Stopped and continued (the shell having set its own settings meanwhile), the program is in
// key mode again: a key acts without Enter and is not echoed.
TEST_F(TerminalHardening, ContinuedAfterAStopItTakesKeysAgain) {
  termios before{};
  ASSERT_NO_FATAL_FAILURE(startWith(smallPicture_, before, true));
  ASSERT_TRUE(inKeyMode(session_));
  kill(session_.pid, SIGSTOP);
  int status = 0;
  ASSERT_EQ(waitpid(session_.pid, &status, WUNTRACED), session_.pid);
  ASSERT_TRUE(WIFSTOPPED(status));
  ASSERT_EQ(tcsetattr(session_.slave, TCSANOW, &before), 0);  // as a shell leaves it
  kill(session_.pid, SIGCONT);
  ASSERT_TRUE(inKeyMode(session_));
  typeKeys(session_, "2");
  EXPECT_TRUE(waitForStdout(session_, kPrompt, 2, 10000)) << session_.stdoutText;
  EXPECT_EQ(session_.terminalText.find("2"), std::string::npos);  // not echoed
  typeKeys(session_, "q");
  EXPECT_EQ(waitForExit(session_, 10000), 0);
  termios after{};
  ASSERT_EQ(tcgetattr(session_.slave, &after), 0);
  expectSameSettings(after, before);
}

TEST_F(TerminalHardening, AHangUpWhileComputingEndsTheProgram) {
  termios before{};
  ASSERT_NO_FATAL_FAILURE(startWith(bigPicture_, before));
  typeKeys(session_, commandsTypedAhead());
  ASSERT_TRUE(waitForStdout(session_, kModeLine, 2, 30000));
  // The terminal goes away (its window closed): nothing is left to restore, but the program
  // must end at once instead of computing on or waiting for keys.
  close(session_.master);
  close(session_.slave);
  session_.master = session_.slave = -1;
  EXPECT_EQ(waitForExit(session_, 30000), 128 + SIGHUP);
  EXPECT_LT(countOf(session_.stdoutText, kRangeLine), static_cast<size_t>(kTypedAhead) + 1);
}

// Waits for the program's end without reading its output; -1 when it had to be killed.
int waitForEndQuietly(ProgramSession &session, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    int status;
    if (waitpid(session.pid, &status, WNOHANG) == session.pid) {
      return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }
    usleep(10000);
  }
  kill(session.pid, SIGKILL);
  waitpid(session.pid, nullptr, 0);
  return -1;
}

TEST_F(TerminalHardening, OutputClosedUnderItRestoresTheTerminal) {
  // Standard output goes to a pipe whose reader goes away (a pager quit, say). Whether the next
  // text ends the program with SIGPIPE or is lost, q still ends it and the terminal comes back.
  for (const bool onCommandLine : {false, true}) {
    SCOPED_TRACE(onCommandLine ? "picture on the command line" : "picture chosen");
    termios before{};
    ASSERT_NO_FATAL_FAILURE(startWith(smallPicture_, before, onCommandLine));
    pumpUntil(
        session_,
        [&] {
          termios now{};
          tcgetattr(session_.slave, &now);
          return (now.c_lflag & ICANON) == 0;
        },
        5000);
    close(session_.output);
    session_.output = -1;
    typeKeys(session_, "1q");
    const int status = waitForEndQuietly(session_, 10000);
    EXPECT_TRUE(status == 0 || status == 128 + SIGPIPE) << status;
    termios after{};
    ASSERT_EQ(tcgetattr(session_.slave, &after), 0);
    expectSameSettings(after, before);
  }
}

TEST_F(TerminalHardening, AHostileFileThroughTheProgramEndsWithStatusOne) {
  // 100000 x 100000 pixels claimed by a 54-byte file: refused at once, no large allocation.
  BmpFields fields;
  fields.biWidth = fields.biHeight = 100000;
  const std::string path = folder_ + "/huge_claim.bmp";
  writeFile(path, bmpFile(fields, ""));
  closeSession(session_);
  SessionOptions options;
  options.folder = folder_;
  session_ = startProgram(options);
  ASSERT_TRUE(waitForTerminal(session_, kChooserPrompt));
  typeKeys(session_, path + "\n");
  EXPECT_EQ(waitForExit(session_, 10000), 1);
  EXPECT_EQ(session_.stdoutText.substr(session_.stdoutText.size() - std::strlen(kPixelError)),
            kPixelError);
}

// A shell with job control, played by a child of the test: it owns the terminal's session and
// starts the program as a job in a process group of its own, then acts on one-letter orders.
class JobShell {
 public:
  // inForeground: the job gets the terminal before it starts; otherwise it starts in the
  // background. False when the shell never reported its job.
  bool start(const std::string &folder, bool inForeground) {
    winsize size{40, 120, 0, 0};
    openpty(&master_, &slave_, nullptr, nullptr, &size);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    tcgetattr(slave_, &settings_);
    int out[2], orders[2], reports[2];
    pipe2(out, O_CLOEXEC);
    pipe2(orders, O_CLOEXEC);
    pipe2(reports, O_CLOEXEC);
    shell_ = fork();
    if (shell_ == 0) runShell(folder, inForeground, out[1], orders[0], reports[1]);
    close(out[1]);
    close(orders[0]);
    close(reports[1]);
    session_.output = out[0];
    session_.master = master_;
    session_.pid = shell_;
    orders_ = orders[1];
    reports_ = reports[0];
    return readReport(job_);
  }

  ~JobShell() {
    if (shell_ > 0) {
      if (job_ > 0) kill(-job_, SIGKILL);
      kill(shell_, SIGKILL);
      waitpid(shell_, nullptr, 0);
    }
    for (int fd : {orders_, reports_, slave_}) {
      if (fd >= 0) close(fd);
    }
    closeSession(session_);
  }

  bool order(char letter) { return write(orders_, &letter, 1) == 1; }

  // The job's next change of state (stopped, exited, killed) as a wait status; -1 on timeout.
  int nextJobState() {
    int status = -1;
    if (!order('w') || !readReport(status)) return -1;
    return status;
  }

  termios terminalSettings() const {
    termios now{};
    tcgetattr(slave_, &now);
    return now;
  }

  const termios &settingsAtStart() const { return settings_; }
  ProgramSession &session() { return session_; }

 private:
  bool readReport(int &value) {
    // Keep reading the job's output meanwhile, so it never blocks on a full pipe.
    return pumpUntil(
        session_,
        [&] {
          pollfd ready{reports_, POLLIN, 0};
          return poll(&ready, 1, 0) > 0 && read(reports_, &value, sizeof value) == sizeof value;
        },
        20000);
  }

  [[noreturn]] void runShell(const std::string &folder, bool inForeground, int out, int orders,
                             int reports) {
    setsid();
    ioctl(slave_, TIOCSCTTY, 0);
    // Like any interactive shell, it is not stopped by its own terminal work.
    for (int s : {SIGTTOU, SIGTTIN, SIGTSTP}) signal(s, SIG_IGN);
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      if (inForeground) tcsetpgrp(slave_, getpgrp());
      for (int s : {SIGTTOU, SIGTTIN, SIGTSTP}) signal(s, SIG_DFL);
      dup2(slave_, 2);
      dup2(out, 1);
      const int nothing = open("/dev/null", O_RDONLY);
      dup2(nothing, 0);
      if (chdir(folder.c_str()) != 0) _exit(126);
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      execl(BMPSPECTRUM_BINARY, BMPSPECTRUM_BINARY, static_cast<char *>(nullptr));
      _exit(127);
    }
    setpgid(job, job);
    if (write(reports, &job, sizeof job) != sizeof job) _exit(1);
    char letter;
    while (read(orders, &letter, 1) == 1) {
      switch (letter) {
        case 'w': {  // report the job's next change of state
          int status = 0;
          waitpid(job, &status, WUNTRACED);
          if (write(reports, &status, sizeof status) != sizeof status) _exit(1);
          break;
        }
        case 'f':  // fg: give the job the terminal and let it run
          tcsetpgrp(slave_, job);
          kill(-job, SIGCONT);
          break;
        case 'c':  // bg: let the job run on in the background
          kill(-job, SIGCONT);
          break;
        case 'b':  // take the terminal back and put the shell's settings back, as shells do
          tcsetpgrp(slave_, getpgrp());
          tcsetattr(slave_, TCSANOW, &settings_);
          break;
        case 't':  // kill %1
          kill(-job, SIGTERM);
          break;
      }
    }
    kill(-job, SIGKILL);
    _exit(0);
  }

  int master_ = -1, slave_ = -1, orders_ = -1, reports_ = -1;
  pid_t shell_ = -1;
  pid_t job_ = -1;
  termios settings_{};
  ProgramSession session_;
};

bool stoppedBy(int status, int signal) {
  return WIFSTOPPED(status) && WSTOPSIG(status) == signal;
}

std::string describeState(int status) {
  if (status == -1) return "no change";
  if (WIFSTOPPED(status)) return std::string("stopped by ") + strsignal(WSTOPSIG(status));
  if (WIFSIGNALED(status)) return std::string("killed by ") + strsignal(WTERMSIG(status));
  return "exited with " + std::to_string(WEXITSTATUS(status));
}

TEST_F(TerminalHardening, StartedInTheBackgroundItLeavesTheTerminalAlone) {
  JobShell shell;
  ASSERT_TRUE(shell.start(folder_, false));
  // Reading the terminal from the background stops it like any job (SIGTTIN), never SIGTTOU,
  // and the terminal keeps its settings; run on in the background, it stops again.
  for (char next : {'-', 'c'}) {
    SCOPED_TRACE(next == 'c' ? "continued in the background" : "started");
    if (next != '-') {
      ASSERT_TRUE(shell.order(next));
    }
    const int state = shell.nextJobState();
    EXPECT_TRUE(stoppedBy(state, SIGTTIN)) << describeState(state);
    expectSameSettings(shell.terminalSettings(), shell.settingsAtStart());
  }
  EXPECT_EQ(shell.session().stdoutText, "");

  // Brought to the foreground it works as usual and leaves the settings as it found them.
  ASSERT_TRUE(shell.order('f'));
  ASSERT_TRUE(waitForTerminal(shell.session(), kChooserPrompt));
  typeKeys(shell.session(), smallPicture_ + "\n");
  ASSERT_TRUE(waitForStdout(shell.session(), kPrompt));
  typeKeys(shell.session(), "q");
  const int state = shell.nextJobState();
  EXPECT_TRUE(WIFEXITED(state) && WEXITSTATUS(state) == 0) << describeState(state);
  expectSameSettings(shell.terminalSettings(), shell.settingsAtStart());
}

TEST_F(TerminalHardening, MovedToTheBackgroundItDiesWithoutTouchingTheTerminal) {
  JobShell shell;
  ASSERT_TRUE(shell.start(folder_, true));
  ASSERT_TRUE(waitForTerminal(shell.session(), kChooserPrompt));
  typeKeys(shell.session(), smallPicture_ + "\n");
  ASSERT_TRUE(waitForStdout(shell.session(), kPrompt));
  // Wait for key mode, then the shell takes the terminal back with its own settings.
  pumpUntil(
      shell.session(), [&] { return (shell.terminalSettings().c_lflag & ICANON) == 0; }, 5000);
  ASSERT_EQ(shell.terminalSettings().c_lflag & ICANON, 0u);
  ASSERT_TRUE(shell.order('b'));
  // kill %1: it must end, not stop on SIGTTOU by writing to a terminal it no longer owns.
  ASSERT_TRUE(shell.order('t'));
  const int state = shell.nextJobState();
  EXPECT_TRUE(WIFSIGNALED(state) && WTERMSIG(state) == SIGTERM) << describeState(state);
  expectSameSettings(shell.terminalSettings(), shell.settingsAtStart());
}

}  // namespace
