// Runs the built program as a person would: a pseudo-terminal as its controlling terminal (the
// keys and the chooser), its standard output on a separate pipe, its standard input elsewhere.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/expected_texts.h"

struct ProgramSession {
  pid_t pid = -1;
  int master = -1;  // the terminal's master side: what the test types and what it shows
  int slave = -1;   // kept open so the terminal's settings can be read after the program ends
  int output = -1;  // the program's standard output
  int input = -1;   // the program's standard input (a pipe the test may write to)
  int errors = -1;  // the program's standard error, when it has a pipe of its own
  std::string stdoutText;
  std::string stderrText;
  std::string terminalText;
  int status = -1;  // wait status once ended
};

struct SessionOptions {
  std::string folder = ".";
  bool withTerminal = true;
  std::vector<std::string> environment;  // extra NAME=VALUE entries
  std::vector<std::string> arguments;    // the command line after the program's name
  bool errorsToPipe = false;             // standard error on a pipe of its own (stderrText)
  bool outputToTerminal = false;         // standard output on the terminal, as in a shell
};

inline ProgramSession startProgram(const SessionOptions &options,
                                   const char *binary = BMPSPECTRUM_BINARY) {
  ProgramSession session;
  if (options.withTerminal) {
    // A new pseudo-terminal starts cooked and echoing, as a shell leaves a terminal.
    winsize size{40, 120, 0, 0};
    if (openpty(&session.master, &session.slave, nullptr, nullptr, &size) != 0) return session;
    fcntl(session.master, F_SETFD, FD_CLOEXEC);
    fcntl(session.slave, F_SETFD, FD_CLOEXEC);
  }
  std::vector<char *> argv{const_cast<char *>(binary)};
  for (const std::string &argument : options.arguments) {
    argv.push_back(const_cast<char *>(argument.c_str()));
  }
  argv.push_back(nullptr);
  // Whatever fails here leaves pid at -1: every wait on the session then fails at once.
  int out[2] = {-1, -1}, in[2] = {-1, -1}, err[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) == 0 && pipe2(in, O_CLOEXEC) == 0 &&
      (!options.errorsToPipe || pipe2(err, O_CLOEXEC) == 0)) {
    session.pid = fork();
  }
  if (session.pid < 0) {
    for (int fd : {out[0], out[1], in[0], in[1], err[0], err[1]}) {
      if (fd >= 0) close(fd);
    }
    return session;
  }
  if (session.pid == 0) {
    setsid();
    if (options.withTerminal) {
      ioctl(session.slave, TIOCSCTTY, 0);
      dup2(session.slave, 2);
    } else {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
    }
    if (options.errorsToPipe) dup2(err[1], 2);
    dup2(in[0], 0);
    dup2(options.outputToTerminal && options.withTerminal ? session.slave : out[1], 1);
    if (chdir(options.folder.c_str()) != 0) _exit(126);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    for (const std::string &entry : options.environment) putenv(const_cast<char *>(entry.c_str()));
    execv(binary, argv.data());
    _exit(127);
  }
  close(out[1]);
  close(in[0]);
  if (options.errorsToPipe) {
    close(err[1]);
    session.errors = err[0];
  }
  session.output = out[0];
  session.input = in[1];
  return session;
}

// Reads what fd has ready within waitMs into text: 1 when it read some, 0 when nothing was
// ready, -1 at its end (every writer gone, or a terminal whose other side has closed).
inline int takeReady(int fd, std::string &text, int waitMs) {
  if (fd < 0) return -1;
  pollfd ready{fd, POLLIN, 0};
  if (poll(&ready, 1, waitMs) <= 0) return 0;
  if (!(ready.revents & (POLLIN | POLLHUP))) return -1;
  char buffer[65536];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got <= 0) return -1;
  text.append(buffer, static_cast<size_t>(got));
  return 1;
}

// Standard error is closed at its end, which tells that the program wrote all it will.
inline void takeErrors(ProgramSession &session, bool all) {
  int got;
  while ((got = takeReady(session.errors, session.stderrText, 0)) > 0 && all) {
  }
  if (got < 0 && session.errors >= 0) {
    close(session.errors);
    session.errors = -1;
  }
}

// Collects what the program writes until done() holds or the time runs out. A program that has
// ended writes nothing more: once what it left is read, the answer is final.
inline bool pumpUntil(ProgramSession &session, const std::function<bool()> &done,
                      int timeoutMs = 10000) {
  if (session.pid <= 0) return false;  // it never started
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (session.status != -1) {
      while (takeReady(session.output, session.stdoutText, 0) > 0) {
      }
      takeErrors(session, true);
      // Its last text may still be on its way through the terminal: read on while more comes.
      while (!done() && takeReady(session.master, session.terminalText, 300) > 0) {
      }
      return done();
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[3] = {
        {session.output, POLLIN, 0}, {session.master, POLLIN, 0}, {session.errors, POLLIN, 0}};
    const int count = poll(fds, 3, static_cast<int>(std::min<long>(left.count(), 50)));
    if (count < 0) continue;
    if (fds[0].revents & (POLLIN | POLLHUP)) takeReady(session.output, session.stdoutText, 0);
    if (fds[1].revents & POLLIN) takeReady(session.master, session.terminalText, 0);
    if (fds[2].revents & (POLLIN | POLLHUP)) takeErrors(session, false);
    int status;
    if (waitpid(session.pid, &status, WNOHANG) == session.pid) session.status = status;
  }
  return true;
}

inline bool waitForStdout(ProgramSession &session, const std::string &part, size_t times = 1,
                          int timeoutMs = 10000) {
  return pumpUntil(
      session, [&] { return countOf(session.stdoutText, part) >= times; }, timeoutMs);
}

inline bool waitForTerminal(ProgramSession &session, const std::string &part, size_t times = 1,
                            int timeoutMs = 10000) {
  return pumpUntil(
      session, [&] { return countOf(session.terminalText, part) >= times; }, timeoutMs);
}

inline void typeKeys(ProgramSession &session, const std::string &keys) {
  if (write(session.master, keys.data(), keys.size()) < 0) return;
}

// Waits for the program to end and its output to close; kills it when the time runs out.
// Returns the exit status, 128 + the signal that ended it, or -1 when it had to be killed.
inline int waitForExit(ProgramSession &session, int timeoutMs = 10000) {
  bool outputClosed = false;
  const bool ended = pumpUntil(
      session,
      [&] {
        if (session.status == -1) return false;
        if (session.output < 0) return session.errors < 0;
        pollfd fd{session.output, POLLIN, 0};
        char buffer[4096];
        while (poll(&fd, 1, 0) > 0) {
          const ssize_t got = read(session.output, buffer, sizeof buffer);
          if (got <= 0) {
            outputClosed = true;
            break;
          }
          session.stdoutText.append(buffer, static_cast<size_t>(got));
        }
        // Standard error is complete once its last writer, the program, has gone.
        return outputClosed && session.errors < 0;
      },
      timeoutMs);
  if (!ended) {
    if (session.pid <= 0) return -1;
    kill(session.pid, SIGKILL);
    waitpid(session.pid, &session.status, 0);
    return -1;
  }
  if (WIFSIGNALED(session.status)) return 128 + WTERMSIG(session.status);
  return WEXITSTATUS(session.status);
}

inline void closeSession(ProgramSession &session) {
  for (int *fd :
       {&session.master, &session.slave, &session.output, &session.input, &session.errors}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}
