// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A burned image drive boots: QEMU starts it with the machine's BIOS, and the GRUB4DOS
// menu on its text screen (read from the VGA text memory through QEMU's monitor) shows
// every entry's title.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

#include "common/tool_runner.h"
#include "e2e_support.h"
#include "support/loop_devices.h"
#include "support/temp_dir.h"
#include "support/grub4dos_images.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

// The 80 x 25 characters of a text screen from the monitor's "xp /4000bx 0xb8000": every
// other byte is a character, the ones between are its colours.
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

TEST(TextScreen, CharactersWithoutTheirColours) {
  const std::string output =
      "(qemu) xp /8bx 0xb8000\r\n"
      "00000000000b8000: 0x20 0x07 0x47 0x07 0x52 0x07 0x55 0x07\r\n"
      "00000000000b8008: 0x42 0x07 0x34 0x70 0x01 0x07 0x4f 0x07\r\n"
      "(qemu) ";
  EXPECT_EQ(TextScreen(output), std::vector<std::string>({" GRUB4 O"}));
}

// QEMU with its monitor on a socket, for as long as the object lives.
class TQemu {
 public:
  TQemu(const std::string& image, const std::string& socket_path) : FSocketPath(socket_path) {
    const std::string qemu = FindTool("qemu-system-x86_64");
    std::vector<std::string> args{qemu, "-nodefaults", "-vga", "std", "-display", "none", "-m",
                                  "64", "-no-reboot", "-drive",
                                  "file=" + image + ",format=raw,snapshot=on", "-monitor",
                                  "unix:" + socket_path + ",server,nowait",
                                  // Emulated: a boot loader's real-mode tricks can stop a
                                  // nested KVM, and the menu is up in seconds anyway.
                                  "-accel", "tcg"};
    FPid = ::fork();
    if (FPid == 0) {
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(qemu.c_str(), argv.data());
      ::_exit(127);
    }
  }

  ~TQemu() {
    if (FSocket >= 0) {
      Send("quit\n");
      ::close(FSocket);
    }
    if (FPid > 0) {
      for (int i = 0; i < 50; ++i) {
        if (::waitpid(FPid, nullptr, WNOHANG) == FPid) return;
        std::this_thread::sleep_for(100ms);
      }
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
  }

  // The text screen now; empty when the monitor cannot be reached.
  std::vector<std::string> Screen() {
    if (FSocket < 0 && !Connect()) return {};
    if (!Send("xp /4000bx 0xb8000\n")) return {};
    // The last row of the dump is that of address 0xb8f98.
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (output.find("00000000000b8f98:") == std::string::npos ||
           output.find('\n', output.find("00000000000b8f98:")) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return {};
      char buffer[8192];
      const ssize_t n = ::recv(FSocket, buffer, sizeof buffer, 0);
      if (n <= 0) return {};
      output.append(buffer, static_cast<std::size_t>(n));
    }
    return TextScreen(output.substr(output.find("00000000000b8000:")));
  }

 private:
  bool Connect() {
    FSocket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    FSocketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(FSocket);
      FSocket = -1;
      return false;
    }
    timeval limit{2, 0};
    ::setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return true;
  }

  bool Send(const std::string& text) {
    return ::send(FSocket, text.data(), text.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(text.size());
  }

  std::string FSocketPath;
  pid_t FPid = -1;
  int FSocket = -1;
};

TEST(BootInQemu, TheMenuShowsEveryEntry) {
  QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES();
  if (FindTool("qemu-system-x86_64").empty()) GTEST_SKIP() << "qemu-system-x86_64 is not installed";
  if (const std::string why = LoopDevicesUnavailable(
          {"losetup", "sfdisk", "wipefs", "blockdev", "mkfs.ntfs", "ntfs-3g", "umount", "xorriso"});
      !why.empty())
    GTEST_SKIP() << "no loop devices: " << why;
  TTempDir temp;
  const std::string ubuntu = temp / "ubuntu-like.iso", krd = temp / "krd.iso";
  const std::string windows = temp / "Win10_x64.iso", hirens = temp / "hbcd 15.2.iso";
  MakeIso(ubuntu, {{"casper/vmlinuz", "kernel"}, {"casper/initrd.lz", "initrd"}});
  MakeIso(krd, {{"boot/rescue", "kernel"}, {"boot/rescue.igz", "initrd"}});
  MakeIso(windows, {{"setup.exe", "setup"}});
  MakeIso(hirens, {{"HBCD/menu.lst", "title x\n"}});
  const std::string drive = temp / "drive.img";
  const TProcessResult burn =
      RunCli({"burn", "--image", drive, "--size", "64M", "--mode", "new", "--fs", "ntfs", "--entry",
              "5:" + ubuntu, "--entry", "3:" + krd, "--entry", "2:" + windows, "--entry",
              "6:" + hirens, "--yes"});
  ASSERT_EQ(burn.ExitStatus, 0) << burn.Out << burn.Err;

  const std::vector<std::string> titles{"ubuntu_like", "krd", "Win10_x64", "hbcd_15.2"};
  TQemu qemu(drive, temp / "monitor.sock");
  std::vector<std::string> screen;
  const auto shows_all = [&] {
    for (const std::string& title : titles) {
      bool shown = false;
      for (const std::string& row : screen)
        shown |= row.find("  " + title + " ") != std::string::npos;
      if (!shown) return false;
    }
    return true;
  };
  const auto deadline = std::chrono::steady_clock::now() + 120s;
  while (std::chrono::steady_clock::now() < deadline) {
    screen = qemu.Screen();
    if (shows_all()) break;
    std::this_thread::sleep_for(500ms);
  }
  std::string shown;
  for (const std::string& row : screen) shown += row + "\n";
  EXPECT_TRUE(shows_all()) << "the screen:\n" << shown;
  EXPECT_NE(shown.find("GRUB4DOS"), std::string::npos) << shown;
}

}  // namespace
}  // namespace quorvane::testing
