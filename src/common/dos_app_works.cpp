// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/dos_app_works.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace quorvane {

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool MakePipe(int& read_end, int& write_end) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  read_end = ends[0];
  write_end = ends[1];
  return true;
}

void SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// A write that turns a reader gone away into EPIPE instead of a SIGPIPE for the program.
ssize_t WriteWithoutSigpipe(int fd, const char* data, std::size_t size) {
  sigset_t pipe_set, old_set;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
  sigset_t pending;
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  const ssize_t written = ::write(fd, data, size);
  const int saved = errno;
  if (written < 0 && saved == EPIPE && !was_pending) {
    const timespec zero{0, 0};
    while (sigtimedwait(&pipe_set, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
  errno = saved;
  return written;
}

}  // namespace

TDosAppWorks::TDosAppWorks(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env) {
  ResetHandles();
  DosAppSuccessfullyStarted = StartApp(argv, env);
}

TDosAppWorks::~TDosAppWorks() { ResetHandles(); }

void TDosAppWorks::ResetHandles() {
  DosAppSuccessfullyStarted = false;
  Terminate();
  CloseFd(LocalVariables.InputReadPipe);
  CloseFd(LocalVariables.InputWritePipe);
  CloseFd(LocalVariables.OutputReadPipe);
  CloseFd(LocalVariables.OutputWritePipe);
  CloseFd(LocalVariables.ErrorReadPipe);
  CloseFd(LocalVariables.ErrorWritePipe);
}

bool TDosAppWorks::StartApp(const std::vector<std::string>& argv,
                            const std::vector<std::string>& env) {
  TLocalVariables& v = LocalVariables;
  if (argv.empty() || argv[0].empty() || argv[0][0] != '/') {
    StartErrno = ENOENT;
    return false;
  }
  if (!MakePipe(v.InputReadPipe, v.InputWritePipe) ||
      !MakePipe(v.OutputReadPipe, v.OutputWritePipe) ||
      !MakePipe(v.ErrorReadPipe, v.ErrorWritePipe)) {
    StartErrno = errno;
    ResetHandles();
    return false;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, v.InputReadPipe, 0);
  posix_spawn_file_actions_adddup2(&actions, v.OutputWritePipe, 1);
  posix_spawn_file_actions_adddup2(&actions, v.ErrorWritePipe, 2);
  // Nothing else of this program (disk handles, sockets) leaks into the tool, nor into
  // a daemon it may leave behind (a FUSE file system).
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> environment;
  for (const std::string& e : env) environment.push_back(const_cast<char*>(e.c_str()));
  environment.push_back(nullptr);

  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, args.data(),
                             environment.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    StartErrno = rc;
    ResetHandles();
    return false;
  }
  v.AppH = pid;
  // The child's ends belong to the child now.
  CloseFd(v.InputReadPipe);
  CloseFd(v.OutputWritePipe);
  CloseFd(v.ErrorWritePipe);
  SetNonBlocking(v.InputWritePipe);
  SetNonBlocking(v.OutputReadPipe);
  SetNonBlocking(v.ErrorReadPipe);
  return true;
}

void TDosAppWorks::SendCommand(const std::string& line) { SendText(line + "\n"); }

void TDosAppWorks::SendText(const std::string& text) {
  if (!DosAppSuccessfullyStarted) return;
  FPendingInput += text;
  FlushInput();
}

void TDosAppWorks::CloseInput() {
  FCloseInputWhenFlushed = true;
  FlushInput();
}

void TDosAppWorks::FlushInput() {
  int& fd = LocalVariables.InputWritePipe;
  if (fd < 0) {
    FPendingInput.clear();
    return;
  }
  while (!FPendingInput.empty()) {
    const ssize_t n = WriteWithoutSigpipe(fd, FPendingInput.data(), FPendingInput.size());
    if (n > 0) {
      FPendingInput.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    InputFailed = true;
    FPendingInput.clear();
    CloseFd(fd);
    return;
  }
  if (FCloseInputWhenFlushed) CloseFd(fd);
}

void TDosAppWorks::DrainPipe(int& fd, std::string& into) {
  char buffer[4096];
  while (fd >= 0) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      const std::size_t room = kOutputLimit > into.size() ? kOutputLimit - into.size() : 0;
      into.append(buffer, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    CloseFd(fd);  // end of file, or a broken pipe
  }
}

bool TDosAppWorks::Reap(bool block) {
  pid_t& pid = LocalVariables.AppH;
  if (pid <= 0) return true;
  int status = 0;
  pid_t done;
  do {
    done = ::waitpid(pid, &status, block ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == 0) return false;
  if (done == pid) {
    if (WIFEXITED(status)) ExitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) TermSignal = WTERMSIG(status);
  }
  pid = -1;
  return true;
}

bool TDosAppWorks::WaitForExit(std::chrono::milliseconds limit) {
  if (!DosAppSuccessfullyStarted) return true;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  TLocalVariables& v = LocalVariables;
  while (true) {
    FlushInput();
    pollfd fds[3];
    nfds_t count = 0;
    if (v.OutputReadPipe >= 0) fds[count++] = {v.OutputReadPipe, POLLIN, 0};
    if (v.ErrorReadPipe >= 0) fds[count++] = {v.ErrorReadPipe, POLLIN, 0};
    if (v.InputWritePipe >= 0 && !FPendingInput.empty())
      fds[count++] = {v.InputWritePipe, POLLOUT, 0};
    // Short waits: a tool that leaves a daemon behind may keep its pipes open after it
    // has ended, so the end of the process is what counts, not the end of the output.
    // Once both outputs have ended, only the exit is left to see: look often.
    ::poll(fds, count, count == 0 ? 2 : 100);
    DrainPipe(v.OutputReadPipe, Output);
    DrainPipe(v.ErrorReadPipe, ErrorOutput);
    if (Reap(false)) {
      DrainPipe(v.OutputReadPipe, Output);
      DrainPipe(v.ErrorReadPipe, ErrorOutput);
      return true;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Terminate();
      return false;
    }
  }
}

void TDosAppWorks::Terminate() {
  if (LocalVariables.AppH > 0) {
    ::kill(LocalVariables.AppH, SIGKILL);
    Reap(true);
  }
}

}  // namespace quorvane
