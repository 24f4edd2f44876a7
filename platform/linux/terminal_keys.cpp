// Single unechoed keys from the controlling terminal, with its settings restored on every exit.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "platform/console.h"
#include "platform/key_decoder.h"

namespace {

// How long a lone Esc waits for the rest of a sequence.
constexpr int kEscapePauseMs = 50;

int terminal = -2;  // -2 not opened yet, -1 no terminal
termios savedSettings;
termios keySettings;  // what key mode sets
volatile sig_atomic_t settingsChanged = 0;

KeyDecoder decoder;
int pendingKeys[kMaxDecodedKeys];
int pendingCount = 0;
int pendingNext = 0;

// Keys typed into the windows, and the descriptor that wakes a _getch waiting for the terminal.
struct WindowKeys {
  std::mutex lock;
  std::deque<int> keys;  // guarded by lock
  std::once_flag made;
  int wake = -1;  // made at first use, never as standard input, output or error
};
WindowKeys &windowKeys = *new WindowKeys;  // never destroyed: the windows' thread may outlive main

int wakeDescriptor() {
  std::call_once(windowKeys.made, [] {
    const int made = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // A closed standard descriptor would otherwise be reused, and the program's text written to
    // the eventfd.
    windowKeys.wake = made >= 0 && made <= 2 ? fcntl(made, F_DUPFD_CLOEXEC, 3) : made;
    if (made >= 0 && made <= 2) close(made);
  });
  return windowKeys.wake;
}

// The next key a window passed on, or -1 when there is none.
int takeWindowKey() {
  std::lock_guard<std::mutex> guard(windowKeys.lock);
  if (windowKeys.keys.empty()) return -1;
  const int key = windowKeys.keys.front();
  windowKeys.keys.pop_front();
  return key;
}

bool inForeground() {
  return tcgetpgrp(terminal) == getpgrp();
}

// Only the foreground job restores: once the shell has taken the terminal back, its settings
// are the shell's. SIGTTOU is held so that a move to the background just before cannot stop
// the program on its way out.
void restoreTerminal() {
  if (!settingsChanged) return;
  if (inForeground()) {
    sigset_t ttou, previous;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &previous);
    tcsetattr(terminal, TCSANOW, &savedSettings);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
  }
  // Cleared last, so that a second signal arriving meanwhile restores as well.
  settingsChanged = 0;
}

// Key mode again, over whatever settings the terminal has now (the shell's, after a stop).
void reenterKeyMode() {
  if (settingsChanged || !inForeground() || tcgetattr(terminal, &savedSettings) != 0) return;
  settingsChanged = 1;
  if (tcsetattr(terminal, TCSANOW, &keySettings) != 0) settingsChanged = 0;
}

// The signal's own end, once the terminal is restored: the default action, taken as soon as
// the handler returns (the signal is blocked until then).
void restoreAndDie(int signal) {
  restoreTerminal();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// Ctrl+Z and kill -TSTP: the shell gets its terminal back while the program is stopped, and
// key mode returns when it is continued, as less and vim do.
void stopAndResume(int) {
  const int savedErrno = errno;
  const bool wasInKeyMode = settingsChanged;
  restoreTerminal();
  struct sigaction stop {
  }, ours{};
  stop.sa_handler = SIG_DFL;
  sigaction(SIGTSTP, &stop, &ours);
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
  raise(SIGTSTP);  // stops here until continued
  sigprocmask(SIG_BLOCK, &tstp, nullptr);
  sigaction(SIGTSTP, &ours, nullptr);
  if (wasInKeyMode) reenterKeyMode();
  errno = savedErrno;
}

// After SIGSTOP, which cannot be caught, the shell may have set its own settings: key mode is
// set again over them.
void resumeAfterStop(int) {
  const int savedErrno = errno;
  if (settingsChanged && inForeground()) {
    termios now;
    if (tcgetattr(terminal, &now) == 0 && (now.c_lflag & (ICANON | ECHO)) != 0) {
      savedSettings = now;
      tcsetattr(terminal, TCSANOW, &keySettings);
    }
  }
  errno = savedErrno;
}

// Every signal whose default action ends the program, so that none leaves the terminal in key
// mode; one that whoever started the program ignores stays ignored.
void restoreOnEverySignal() {
  struct sigaction action {};
  action.sa_handler = restoreAndDie;
  sigemptyset(&action.sa_mask);
  std::vector<int> signals{SIGTERM, SIGHUP,    SIGINT,  SIGQUIT, SIGPIPE, SIGUSR1,  SIGUSR2,
                           SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGABRT, SIGSEGV,  SIGBUS,
                           SIGFPE,  SIGILL,    SIGTRAP, SIGSYS,  SIGPWR,  SIGSTKFLT};
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) signals.push_back(signal);
  for (int signal : signals) {
    struct sigaction now {};
    if (sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) {
      sigaction(signal, &action, nullptr);
    }
  }
  struct sigaction stop {};
  stop.sa_handler = stopAndResume;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &stop, nullptr);
  struct sigaction resume {};
  resume.sa_handler = resumeAfterStop;
  sigemptyset(&resume.sa_mask);
  resume.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &resume, nullptr);
}

// Non-canonical, no echo, no signals from keys (Ctrl+C arrives as 3), no input translation;
// output processing stays on. TCSANOW keeps what the user has already typed.
void enterKeyMode() {
  if (settingsChanged || !inForeground()) return;
  if (tcgetattr(terminal, &savedSettings) != 0) return;
  keySettings = savedSettings;
  keySettings.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
  keySettings.c_iflag &= ~(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK);
  keySettings.c_cc[VMIN] = 1;
  keySettings.c_cc[VTIME] = 0;

  // Restoring must be possible before the change is visible to any handler. Output to a pipe
  // whose reader has gone (a pager quit) ends the program by SIGPIPE among the others.
  static bool handlersInstalled = false;
  if (!handlersInstalled) {
    handlersInstalled = true;
    std::atexit(restoreTerminal);
    restoreOnEverySignal();
  }
  // Marked first: a signal that lands just after the change must still restore.
  settingsChanged = 1;
  if (tcsetattr(terminal, TCSANOW, &keySettings) != 0) settingsChanged = 0;
}

// The terminal's own interrupt, quit and suspend keys (Ctrl+C, Ctrl+\, Ctrl+Z unless changed)
// do what they do without key mode: the signal is sent here, since key mode reads them as bytes.
bool signalOfKey(int byte) {
  const struct {
    int index, signal;
  } keys[] = {{VINTR, SIGINT}, {VQUIT, SIGQUIT}, {VSUSP, SIGTSTP}};
  for (const auto &key : keys) {
    const cc_t code = savedSettings.c_cc[key.index];
    if (code != _POSIX_VDISABLE && byte == code) {
      kill(0, key.signal);
      return true;
    }
  }
  return false;
}

// One byte from the terminal; -1 on end of input, hang-up or error; -2 when the pause ran out;
// -3 when a window passed on a key first.
int readByte(int timeoutMs) {
  for (;;) {
    const int wake = wakeDescriptor();
    pollfd ready[2] = {{terminal, POLLIN, 0}, {wake, POLLIN, 0}};
    const int count = poll(ready, wake >= 0 ? 2 : 1, timeoutMs);
    if (count < 0 && errno == EINTR) continue;
    if (count == 0) return -2;
    if (count < 0) return -1;
    if (ready[1].revents & POLLIN) {
      std::uint64_t wakes;
      while (read(wake, &wakes, sizeof wakes) < 0 && errno == EINTR) {
      }
      return -3;
    }
    unsigned char byte;
    const ssize_t got = read(terminal, &byte, 1);
    if (got == 1) return byte;
    if (got < 0 && errno == EINTR) continue;
    return -1;
  }
}

bool openTerminal() {
  if (terminal == -2) terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  return terminal >= 0;
}

}  // namespace

void queueWindowKey(int key) {
  {
    std::lock_guard<std::mutex> guard(windowKeys.lock);
    windowKeys.keys.push_back(key);
  }
  const std::uint64_t one = 1;
  const int wake = wakeDescriptor();
  while (wake >= 0 && write(wake, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

int _getch() {
  if (pendingNext < pendingCount) return pendingKeys[pendingNext++];
  if (const int key = takeWindowKey(); key >= 0) return key;
  if (!openTerminal()) return -1;

  // A background job may not take the terminal: stop like any reader would, and give up
  // if the job is still in the background after it is continued.
  if (!inForeground()) {
    kill(0, SIGTTIN);
    if (!inForeground()) return -1;
  }
  enterKeyMode();

  pendingCount = pendingNext = 0;
  while (pendingCount == 0) {
    const bool pause = keyDecoderAwaitsPause(decoder);
    const int byte = readByte(pause ? kEscapePauseMs : -1);
    if (byte == -1) return -1;
    if (byte == -3) {
      if (const int key = takeWindowKey(); key >= 0) return key;
      continue;
    }
    if (byte >= 0 && signalOfKey(byte)) continue;
    pendingCount = byte == -2 ? decodeKeyPause(decoder, pendingKeys)
                              : decodeKeyByte(decoder, byte, pendingKeys);
  }
  return pendingKeys[pendingNext++];
}
