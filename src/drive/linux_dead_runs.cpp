// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/linux_dead_runs.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sstream>

#include "common/text.h"
#include "drive/linux_mount_table.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

bool IsProcessId(const std::string& name, pid_t& pid) {
  if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos)
    return false;
  pid = static_cast<pid_t>(std::stol(name));
  return pid > 0;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

bool Below(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size() + 1, folder + "/") == 0;
}

void CleanRun(const TDriveEnvironment& env, IToolRunner& runner, const std::string& folder,
              TDeadRunCleanup& report) {
  // The mounts inside the folder, the innermost first.
  std::vector<std::string> points;
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile(env.MountInfoPath)))
    if (Below(m.MountPoint, folder)) points.push_back(m.MountPoint);
  std::sort(points.begin(), points.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  points.erase(std::unique(points.begin(), points.end()), points.end());
  for (const std::string& point : points) {
    TToolResult r = runner.Run({"umount", {point}, ""});
    // A file system whose FUSE process died answers "Transport endpoint is not connected"
    // to everything, and a busy one cannot go at once: both are detached lazily.
    if (!r.Succeeded()) r = runner.Run({"umount", {"--lazy", point}, ""});
    if (r.Succeeded())
      report.Done.push_back("unmounted " + point);
    else
      report.Errors.push_back("cannot unmount " + point + ": " + r.ErrorText());
  }
  // The loop devices it attached, when they still show what it attached them to.
  const std::vector<TMountEntry> mounts = ParseMountInfo(ReadTextFile(env.MountInfoPath));
  for (const TRunLoop& loop : ParseRunLoops(ReadTextFile(folder + "/" + kRunLoopsFile))) {
    const std::string sys = env.SysRoot + "/block/" + loop.KernelName + "/loop/";
    if (Trimmed(ReadTextFile(sys + "backing_file")) != loop.File ||
        Trimmed(ReadTextFile(sys + "offset")) != std::to_string(loop.Offset))
      continue;  // detached meanwhile, or given to another file since
    const std::string node = "/dev/" + loop.KernelName;
    const bool mounted = std::any_of(mounts.begin(), mounts.end(), [&](const TMountEntry& m) {
      return m.Source == node || m.Source == env.DevRoot + "/" + loop.KernelName;
    });
    if (mounted) {
      report.Errors.push_back(node + " of an ended run is still mounted; it stays attached");
      continue;
    }
    const TToolResult r =
        runner.Run({"losetup", {"--detach", env.DevRoot + "/" + loop.KernelName}, ""});
    if (r.Succeeded())
      report.Done.push_back("detached " + node + " (" + loop.File + ")");
    else
      report.Errors.push_back("cannot detach " + node + ": " + r.ErrorText());
  }
  if (!report.Errors.empty()) return;
  std::error_code ec;
  fs::remove(folder + "/" + kRunLoopsFile, ec);
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
    ::rmdir(e.path().c_str());  // the empty mount folders; anything else stays
  if (::rmdir(folder.c_str()) != 0 && errno != ENOENT)
    report.Errors.push_back("cannot remove " + folder + ": " + SystemErrorText(errno));
}

}  // namespace

std::string FormatRunLoops(const std::vector<TRunLoop>& loops) {
  std::string text;
  for (const TRunLoop& l : loops)
    text += l.KernelName + " " + std::to_string(l.Offset) + " " + l.File + "\n";
  return text;
}

std::vector<TRunLoop> ParseRunLoops(const std::string& text) {
  std::vector<TRunLoop> loops;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t a = line.find(' ');
    const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
    if (b == std::string::npos) continue;
    TRunLoop l;
    l.KernelName = line.substr(0, a);
    const std::string offset = line.substr(a + 1, b - a - 1);
    l.File = line.substr(b + 1);
    if (l.KernelName.compare(0, 4, "loop") != 0 || l.KernelName.size() == 4 ||
        l.KernelName.find_first_not_of("0123456789", 4) != std::string::npos || offset.empty() ||
        offset.size() > 19 || offset.find_first_not_of("0123456789") != std::string::npos ||
        l.File.empty() || l.File[0] != '/')
      continue;
    l.Offset = std::stoull(offset);
    loops.push_back(l);
  }
  return loops;
}

TDeadRunCleanup CleanUpDeadRuns(const TDriveEnvironment& env, IToolRunner& runner) {
  TDeadRunCleanup report;
  std::error_code ec;
  std::vector<std::string> folders;
  for (const fs::directory_entry& e : fs::directory_iterator(env.RunRoot, ec)) {
    pid_t pid = 0;
    if (!IsProcessId(e.path().filename().string(), pid) || pid == ::getpid() || ProcessRuns(pid))
      continue;
    if (!fs::is_directory(e.symlink_status(ec))) continue;
    folders.push_back(e.path().string());
  }
  std::sort(folders.begin(), folders.end());
  for (const std::string& folder : folders) {
    TDeadRunCleanup one;
    CleanRun(env, runner, folder, one);
    report.Done.insert(report.Done.end(), one.Done.begin(), one.Done.end());
    report.Errors.insert(report.Errors.end(), one.Errors.begin(), one.Errors.end());
  }
  return report;
}

}  // namespace quorvane
