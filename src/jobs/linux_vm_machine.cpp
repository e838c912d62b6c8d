// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/vm_machine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/tool_runner.h"
#include "jobs/linux_vm_process.h"

namespace quorvane {

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr const char* kPrompt = "(qemu) ";
// What is kept of the serial port and of QEMU's messages, whatever the guest writes.
constexpr std::size_t kMaxSerial = 16u << 20, kMaxErrors = 64u << 10;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

TVmMachine::~TVmMachine() {
  // Whoever wants to know what stays calls Stop first; nothing is left to stop then.
  static_cast<void>(Stop());
}

bool TVmMachine::Start(const TVmMachineSetup& setup, std::string& error) {
  TVmTools tools;
  if (const std::string missing = FindVmTools(setup.Uefi, tools); !missing.empty()) {
    error = missing;
    return false;
  }
  FUefi = setup.Uefi;
  TVmProcess process;
  process.Program = tools.Qemu;
  process.User = VmUser();
  process.Detached = setup.Detached;
  TVmMachineSetup effective = setup;
  effective.Kvm = setup.Kvm && tools.Kvm && KvmUsableBy(process.User);
  process.Args = VmQemuArguments(effective, tools);
  std::vector<int> opened;
  const auto close_opened = [&] {
    for (int& fd : opened) CloseFd(fd);
  };
  const auto open = [&](int fd) {
    if (fd < 0) return false;
    opened.push_back(fd);
    process.Files.push_back(fd);
    return true;
  };
  if (!setup.Disk.empty() && !open(OpenDiskReadOnly(setup.Disk, setup.DiskIsDevice, error))) return false;
  if (!setup.Cdrom.empty() && !open(OpenDiskReadOnly(setup.Cdrom, false, error))) {
    close_opened();
    return false;
  }
  // The variable store, read and written by the machine: QEMU opens it read-only first,
  // so the set holds the file both ways.
  if (setup.Uefi && !open(MemoryCopyOf(tools.OvmfVars, error))) {
    close_opened();
    return false;
  }
  if (setup.Uefi && !open(ReopenReadOnly(opened.back(), error))) {
    close_opened();
    return false;
  }
  const auto close_ours = [&] {
    close_opened();
    CloseFd(FMonitor);
    CloseFd(FSerial);
    CloseFd(FErrors);
  };
  if (!setup.Detached) {
    // Our ends of the monitor, the serial port and QEMU's standard error; its ends go.
    int* ours[] = {&FMonitor, &FSerial, &FErrors};
    for (int i = 0; i < 3; ++i) {
      int pair[2];
      const int made = i < 2 ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair)
                             : ::pipe2(pair, O_CLOEXEC);
      if (made != 0) {
        error = std::string("cannot make the machine's sockets: ") + std::strerror(errno);
        close_ours();
        return false;
      }
      *ours[i] = pair[0];
      opened.push_back(pair[1]);
      if (i < 2)
        process.Files.push_back(pair[1]);
      else
        process.ErrorOutput = pair[1];
    }
  }
  FFolder = MakeVmFolder(process.User, error);
  if (FFolder.empty()) {
    close_ours();
    return false;
  }
  process.Folder = FFolder;
  process.Environment = setup.Environment.empty() ? ToolEnvironment() : setup.Environment;
  // The overlay of the disk's writes goes into the machine's own folder.
  process.Environment.push_back("TMPDIR=" + FFolder);
  FPid = StartVmProcess(process, error);
  close_opened();
  if (FPid < 0) {
    close_ours();
    if (!RemoveVmFolder(FFolder)) error += "; the folder " + FFolder + " stays";
    FFolder.clear();
    return false;
  }
  if (setup.Detached) {
    FPid = -1;
    FFolder.clear();  // the waiter removes it
    return true;
  }
  timeval limit{1, 0};
  ::setsockopt(FMonitor, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  FReader = std::thread([this] { ReadOutputs(); });
  ReadReply(30s);  // the greeting
  return true;
}

void TVmMachine::ReadOutputs() {
  pollfd fds[2] = {{FSerial, POLLIN, 0}, {FErrors, POLLIN, 0}};
  while (!FStopReading.load() && (fds[0].fd >= 0 || fds[1].fd >= 0)) {
    const int ready = ::poll(fds, 2, 200);
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[16384];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) {
        fds[i].fd = -1;
        continue;
      }
      std::lock_guard<std::mutex> guard(FLock);
      std::string& text = i == 0 ? FSerialText : FErrorText;
      const std::size_t limit = i == 0 ? kMaxSerial : kMaxErrors;
      const std::string_view piece(buffer, static_cast<std::size_t>(got));
      text.append(piece.substr(0, limit - std::min(text.size(), limit)));
      // The screen holds only what is on it: it follows the port however long it talks.
      if (i == 0) FSerialScreen.Feed(piece);
    }
  }
}

bool TVmMachine::Running() {
  if (FPid <= 0 || FEnded) return false;
  int status = 0;
  if (::waitpid(FPid, &status, WNOHANG) == FPid) FEnded = true;
  return !FEnded;
}

std::string TVmMachine::Command(const std::string& line, std::chrono::seconds limit) {
  if (FMonitor < 0 || !Running()) return {};
  const std::string text = line + "\n";
  if (::send(FMonitor, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
    return {};
  return ReadReply(limit);
}

std::string TVmMachine::ReadReply(std::chrono::seconds limit) {
  std::string reply;
  const auto deadline = TClock::now() + limit;
  while (!EndsWith(reply, kPrompt) && TClock::now() < deadline) {
    char buffer[8192];
    const ssize_t n = ::recv(FMonitor, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        if (!Running()) break;
        continue;
      }
      break;
    }
    if (reply.size() < kMaxSerial) reply.append(buffer, static_cast<std::size_t>(n));
  }
  return reply;
}

bool TVmMachine::Faulted() {
  return Command("info status", 10s).find("internal-error") != std::string::npos;
}

bool TVmMachine::UsesKvm() {
  return Command("info kvm", 10s).find("kvm support: enabled") != std::string::npos;
}

TVmScreen TVmMachine::VgaScreen() { return VgaTextScreen(Command("xp /4000bx 0xb8000", 10s)); }

TVmScreen TVmMachine::SerialScreen() {
  std::lock_guard<std::mutex> guard(FLock);
  return FSerialScreen.Screen();
}

TVmScreen TVmMachine::Screen() { return FUefi ? SerialScreen() : VgaScreen(); }

bool TVmMachine::SendKey(const std::string& key) {
  return !Command("sendkey " + key, 5s).empty();
}

std::string TVmMachine::Serial() {
  std::lock_guard<std::mutex> guard(FLock);
  return FSerialText;
}

std::string TVmMachine::ErrorOutput() {
  std::lock_guard<std::mutex> guard(FLock);
  return FErrorText;
}

bool TVmMachine::WaitForSerial(const std::function<bool(const std::string&)>& done,
                               std::chrono::seconds limit) {
  const auto deadline = TClock::now() + limit;
  for (;;) {
    if (done(Serial())) return true;
    if (!Running()) {
      // Once QEMU has ended the reader takes in what was left: one last look.
      std::this_thread::sleep_for(300ms);
      return done(Serial());
    }
    if (TClock::now() > deadline) return false;
    std::this_thread::sleep_for(250ms);
  }
}

bool TVmMachine::WaitForScreen(const std::function<bool(const TVmScreen&)>& done,
                               std::chrono::seconds limit, TVmScreen* last) {
  const auto deadline = TClock::now() + limit;
  for (;;) {
    const TVmScreen screen = Screen();
    if (last && (!screen.Rows.empty() || last->Rows.empty())) *last = screen;
    if (done(screen)) return true;
    if (!Running() || TClock::now() > deadline) return false;
    std::this_thread::sleep_for(500ms);
  }
}

bool TVmMachine::WaitForExit(std::chrono::seconds limit) {
  const auto deadline = TClock::now() + limit;
  while (Running()) {
    if (TClock::now() > deadline) return false;
    std::this_thread::sleep_for(250ms);
  }
  return true;
}

std::string TVmMachine::Stop() {
  if (FPid > 0 && !FEnded) {
    Command("quit", 2s);
    if (!WaitForExit(5s)) {
      ::kill(FPid, SIGKILL);
      int status = 0;
      while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
      }
      FEnded = true;
    }
  }
  FStopReading = true;
  if (FReader.joinable()) FReader.join();
  CloseFd(FMonitor);
  CloseFd(FSerial);
  CloseFd(FErrors);
  std::string left;
  if (!FFolder.empty() && !RemoveVmFolder(FFolder))
    left = "the virtual machine's folder " + FFolder + " stays: QEMU left files in it";
  FFolder.clear();
  return left;
}

}  // namespace quorvane
