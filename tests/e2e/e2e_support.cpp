// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "e2e_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "common/tool_runner.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

namespace fs = std::filesystem;

TProcessResult RunCli(const std::vector<std::string>& args,
                      const std::function<void(const std::string&, pid_t)>& on_line) {
  const std::string program = std::string(QUORVANE_E2E_BUILD_DIR) + "/quorvane-cli";
  TProcessResult result;
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipes";
    return result;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  std::string pending;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open_pipes = 2;
  while (open_pipes > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
        continue;
      }
      if (i == 1) {
        result.Err.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      result.Out.append(buffer, static_cast<std::size_t>(n));
      pending.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        if (on_line) on_line(pending.substr(0, end), pid);
        pending.erase(0, end + 1);
      }
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TMountedVolume::TMountedVolume(const std::string& image, const std::string& mount_point,
                               bool writable)
    : FMountPoint(mount_point) {
  // Where the first partition starts: its entry in sector 0.
  const std::string mbr = FileHead(image, 512);
  if (mbr.size() < 512) {
    FError = "no sector 0 in " + image;
    return;
  }
  std::uint64_t start = 0;
  for (int b = 3; b >= 0; --b) start = start << 8 | static_cast<unsigned char>(mbr[454 + b]);
  TSystemToolRunner runner;
  std::vector<std::string> args{"--find", "--show", "--offset", std::to_string(start * 512)};
  if (!writable) args.push_back("--read-only");
  args.push_back(image);
  const TToolResult loop = runner.Run({"losetup", args, ""});
  if (!loop.Succeeded()) {
    FError = loop.ErrorText();
    return;
  }
  FLoop = OneLine(loop.Output);
  fs::create_directories(mount_point);
  const TToolResult mount =
      runner.Run({"ntfs-3g", {"-o", writable ? "rw" : "ro", FLoop, mount_point}, ""});
  if (!mount.Succeeded()) {
    FError = mount.ErrorText();
    return;
  }
  FMounted = true;
}

TMountedVolume::~TMountedVolume() {
  TSystemToolRunner runner;
  if (FMounted) {
    const TToolResult r = runner.Run({"umount", {FMountPoint}, ""});
    EXPECT_TRUE(r.Succeeded()) << r.ErrorText();
  }
  if (!FLoop.empty()) {
    const TToolResult r = runner.Run({"losetup", {"--detach", FLoop}, ""});
    EXPECT_TRUE(r.Succeeded()) << r.ErrorText();
  }
}

std::string LoopDevicesOver(const std::string& file) {
  TSystemToolRunner runner;
  const TToolResult r =
      runner.Run({"losetup", {"--associated", file, "--noheadings", "-O", "NAME"}, ""});
  EXPECT_TRUE(r.Succeeded()) << r.ErrorText();
  return OneLine(r.Output);
}

std::string SourcePath(const std::string& path) {
  return std::string(QUORVANE_E2E_SOURCE_DIR) + "/" + path;
}

std::string FileHead(const std::string& path, std::size_t size) {
  std::string bytes(size, '\0');
  std::ifstream in(path, std::ios::binary);
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

std::string WithId(const std::string& text, const std::string& id) {
  std::string out = text;
  for (std::size_t at; !id.empty() && (at = out.find(id)) != std::string::npos;)
    out.replace(at, id.size(), "ID");
  return out;
}

std::vector<std::string> IdsIn(const std::string& text) {
  static const std::regex id("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  std::vector<std::string> ids;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), id); it != std::sregex_iterator();
       ++it)
    ids.push_back(it->str());
  return ids;
}

}  // namespace quorvane::testing
