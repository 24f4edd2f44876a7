// Single unechoed keys from the controlling terminal, with its settings restored on every exit.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>

#include "platform/console.h"
#include "platform/key_decoder.h"

namespace {

// How long a lone Esc waits for the rest of a sequence.
constexpr int kEscapePauseMs = 50;

int terminal = -2;  // -2 not opened yet, -1 no terminal
termios savedSettings;
volatile sig_atomic_t settingsChanged = 0;

KeyDecoder decoder;
int pendingKeys[kMaxDecodedKeys];
int pendingCount = 0;
int pendingNext = 0;

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

void restoreAndDie(int signal) {
  restoreTerminal();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// Non-canonical, no echo, no signals from keys (Ctrl+C arrives as 3), no input translation;
// output processing stays on. TCSANOW keeps what the user has already typed.
void enterKeyMode() {
  if (settingsChanged || !inForeground()) return;
  if (tcgetattr(terminal, &savedSettings) != 0) return;
  termios raw = savedSettings;
  raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;

  // Restoring must be possible before the change is visible to any handler.
  static bool handlersInstalled = false;
  if (!handlersInstalled) {
    handlersInstalled = true;
    std::atexit(restoreTerminal);
    struct sigaction action {};
    action.sa_handler = restoreAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) sigaction(signal, &action, nullptr);
    // Output to a pipe whose reader has gone (a pager quit) ends the program by SIGPIPE, unless
    // whoever started it chose to ignore that signal.
    struct sigaction pipeAction {};
    if (sigaction(SIGPIPE, nullptr, &pipeAction) == 0 && pipeAction.sa_handler != SIG_IGN) {
      sigaction(SIGPIPE, &action, nullptr);
    }
  }
  // Marked first: a signal that lands just after the change must still restore.
  settingsChanged = 1;
  if (tcsetattr(terminal, TCSANOW, &raw) != 0) settingsChanged = 0;
}

// One byte from the terminal; -1 on end of input, hang-up or error; -2 when the pause ran out.
int readByte(int timeoutMs) {
  for (;;) {
    if (timeoutMs >= 0) {
      pollfd ready{terminal, POLLIN, 0};
      const int count = poll(&ready, 1, timeoutMs);
      if (count < 0 && errno == EINTR) continue;
      if (count == 0) return -2;
      if (count < 0) return -1;
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

int _getch() {
  if (pendingNext < pendingCount) return pendingKeys[pendingNext++];
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
    pendingCount = byte == -2 ? decodeKeyPause(decoder, pendingKeys)
                              : decodeKeyByte(decoder, byte, pendingKeys);
  }
  return pendingKeys[pendingNext++];
}
