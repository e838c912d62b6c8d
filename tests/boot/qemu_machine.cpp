// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "qemu_machine.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "common/tool_runner.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr const char* kOvmfCode = "/usr/share/OVMF/OVMF_CODE.fd";
constexpr const char* kOvmfVars = "/usr/share/OVMF/OVMF_VARS.fd";
constexpr const char* kPrompt = "(qemu) ";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

const char* FirmwareName(TFirmware firmware) {
  return firmware == TFirmware::OVMF ? "OVMF" : "SeaBIOS";
}

std::string FirmwareUnavailable(TFirmware firmware) {
  if (FindTool("qemu-system-x86_64").empty()) return "qemu-system-x86_64 is not installed";
  if (firmware == TFirmware::OVMF && (!Exists(kOvmfCode) || !Exists(kOvmfVars)))
    return std::string(kOvmfCode) + " or " + kOvmfVars + " is missing (package ovmf)";
  return {};
}

std::vector<std::string> TextScreen(const std::string& monitor_output) {
  static const std::regex row("^[0-9a-f]{16}: ((?:0x[0-9a-f]{2} ?)+)$");
  std::vector<int> bytes;
  std::istringstream in(monitor_output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    std::istringstream values(m[1].str());
    for (std::string v; values >> v;) bytes.push_back(std::stoi(v, nullptr, 16));
  }
  std::vector<std::string> screen;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (i % 160 == 0) screen.emplace_back();
    const int c = bytes[i];
    screen.back() += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : ' ';
  }
  return screen;
}

std::string ScreenText(const std::vector<std::string>& screen) {
  std::string text;
  for (const std::string& row : screen) text += row + "\n";
  return text;
}

TQemuMachine::TQemuMachine(const TMachineSetup& setup)
    : FSocketPath(setup.WorkDir + "monitor.sock"), FSerialPath(setup.WorkDir + "serial.log") {
  const std::string qemu = FindTool("qemu-system-x86_64");
  std::filesystem::remove(FSerialPath);
  std::filesystem::remove(FSocketPath);
  std::vector<std::string> args{qemu, "-nodefaults", "-accel", "tcg", "-m",
                                std::to_string(setup.MemoryMiB), "-vga", "std", "-display",
                                "none", "-no-reboot", "-serial", "file:" + FSerialPath,
                                "-monitor", "unix:" + FSocketPath + ",server,nowait"};
  if (setup.Firmware == TFirmware::OVMF) {
    // The firmware's code read-only; its variable store a copy of our own.
    const std::string vars = setup.WorkDir + "OVMF_VARS.fd";
    std::filesystem::copy_file(kOvmfVars, vars, std::filesystem::copy_options::overwrite_existing);
    args.insert(args.end(), {"-drive",
                             std::string("if=pflash,format=raw,readonly=on,file=") + kOvmfCode,
                             "-drive", "if=pflash,format=raw,file=" + vars});
  }
  if (!setup.Disk.empty())
    args.insert(args.end(), {"-drive", "file=" + setup.Disk + ",format=raw,snapshot=on"});
  if (!setup.Cdrom.empty())
    args.insert(args.end(),
                {"-drive", "file=" + setup.Cdrom + ",format=raw,media=cdrom,readonly=on"});
  FPid = ::fork();
  if (FPid == 0) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(qemu.c_str(), argv.data());
    ::_exit(127);
  }
}

TQemuMachine::~TQemuMachine() {
  if (FSocket >= 0) {
    Send("quit\n");
    ::close(FSocket);
  }
  if (FPid > 0 && !FEnded) {
    for (int i = 0; i < 50; ++i) {
      if (::waitpid(FPid, nullptr, WNOHANG) == FPid) return;
      std::this_thread::sleep_for(100ms);
    }
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
  }
}

bool TQemuMachine::Running() {
  if (FPid <= 0 || FEnded) return false;
  if (::waitpid(FPid, nullptr, WNOHANG) == FPid) FEnded = true;
  return !FEnded;
}

std::vector<std::string> TQemuMachine::Screen() {
  if (FSocket < 0 && !Connect()) return {};
  if (!Send("xp /4000bx 0xb8000\n")) return {};
  return TextScreen(ReadReply(10s));
}

bool TQemuMachine::SendKey(const std::string& key) {
  if (FSocket < 0 && !Connect()) return false;
  if (!Send("sendkey " + key + "\n")) return false;
  ReadReply(5s);
  return true;
}

std::string TQemuMachine::Serial() const { return ReadFile(FSerialPath); }

bool TQemuMachine::WaitForSerial(const std::function<bool(const std::string&)>& done,
                                 std::chrono::seconds limit) {
  const auto deadline = TClock::now() + limit;
  for (;;) {
    if (done(Serial())) return true;
    // Once QEMU has ended the log is complete: one last look.
    if (!Running()) return done(Serial());
    if (TClock::now() > deadline) return false;
    std::this_thread::sleep_for(250ms);
  }
}

bool TQemuMachine::WaitForSerial(const std::string& text, std::chrono::seconds limit) {
  return WaitForSerial([&](const std::string& serial) { return serial.find(text) != std::string::npos; },
                       limit);
}

bool TQemuMachine::WaitForScreen(const std::function<bool(const std::string&)>& done,
                                 std::chrono::seconds limit, std::string* last) {
  const auto deadline = TClock::now() + limit;
  for (;;) {
    const std::string screen = ScreenText(Screen());
    if (last) *last = screen;
    if (done(screen)) return true;
    if (!Running() || TClock::now() > deadline) return false;
    std::this_thread::sleep_for(500ms);
  }
}

bool TQemuMachine::WaitForExit(std::chrono::seconds limit) {
  const auto deadline = TClock::now() + limit;
  while (Running()) {
    if (TClock::now() > deadline) return false;
    std::this_thread::sleep_for(250ms);
  }
  return true;
}

bool TQemuMachine::Connect() {
  // QEMU makes the socket a moment after it starts.
  const auto deadline = TClock::now() + 30s;
  for (;;) {
    FSocket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    FSocketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
    ::close(FSocket);
    FSocket = -1;
    if (!Running() || TClock::now() > deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
  timeval limit{1, 0};
  ::setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ReadReply(10s);  // the greeting
  return true;
}

bool TQemuMachine::Send(const std::string& text) {
  return ::send(FSocket, text.data(), text.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(text.size());
}

std::string TQemuMachine::ReadReply(std::chrono::seconds limit) {
  std::string reply;
  const auto deadline = TClock::now() + limit;
  while (!EndsWith(reply, kPrompt) && TClock::now() < deadline) {
    char buffer[8192];
    const ssize_t n = ::recv(FSocket, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      break;
    }
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  return reply;
}

}  // namespace quorvane::testing
