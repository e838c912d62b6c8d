// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/linux_mount_owners.h"

#include <pwd.h>
#include <sys/stat.h>

#include <sstream>

namespace quorvane {

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

// The value of `key` in a comma-separated option list ("user_id=1000"); empty when absent.
std::string OptionValue(const std::string& options, const std::string& key, bool& present) {
  std::istringstream in(options);
  std::string option;
  present = false;
  while (std::getline(in, option, ',')) {
    if (option == key) {
      present = true;
      return {};
    }
    if (option.compare(0, key.size() + 1, key + "=") == 0) {
      present = true;
      return option.substr(key.size() + 1);
    }
  }
  return {};
}

// The user a desktop mount point is made for: /media/USER/... or /run/media/USER/...
std::string MediaUser(const std::string& mount_point) {
  for (const std::string prefix : {"/media/", "/run/media/"}) {
    if (mount_point.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = mount_point.substr(prefix.size());
    const std::size_t slash = rest.find('/');
    if (slash != std::string::npos && slash > 0 && slash + 1 < rest.size()) return rest.substr(0, slash);
  }
  return {};
}

std::string UserText(const TMounterLookups& lookups, const std::string& uid_text) {
  if (!AllDigits(uid_text)) return "an unknown user";
  const long uid = std::stol(uid_text);
  if (uid == 0) return "root";
  const std::string name = lookups.UserName ? lookups.UserName(uid) : std::string();
  return name.empty() ? "the user with id " + uid_text : "user " + name;
}

}  // namespace

TMounterLookups SystemMounterLookups() {
  TMounterLookups lookups;
  lookups.ProcessRuns = [](long pid) {
    struct stat info {};
    return ::stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0;
  };
  lookups.UserName = [](long uid) -> std::string {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer, sizeof buffer, &found) != 0 || !found)
      return {};
    return found->pw_name ? std::string(found->pw_name) : std::string();
  };
  return lookups;
}

long RunFolderProcess(const std::string& run_root, const std::string& path) {
  std::string root = run_root;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root.empty() || path.compare(0, root.size() + 1, root + "/") != 0) return 0;
  const std::string rest = path.substr(root.size() + 1);
  const std::string first = rest.substr(0, rest.find('/'));
  return AllDigits(first) ? std::stol(first) : 0;
}

std::string DescribeMounter(const TMountEntry& mount, const std::vector<TUtabEntry>& utab,
                            const std::string& run_root, const TMounterLookups& lookups) {
  if (const long pid = RunFolderProcess(run_root, mount.MountPoint); pid > 0) {
    const bool runs = lookups.ProcessRuns && lookups.ProcessRuns(pid);
    return std::string(runs ? "by another run of this program" : "by a run of this program that has ended") +
           " (process " + std::to_string(pid) + ")";
  }
  const std::string media_user = MediaUser(mount.MountPoint);
  for (const TUtabEntry& entry : utab) {
    if (entry.Target != mount.MountPoint) continue;
    bool present = false;
    const std::string helper = OptionValue(entry.Options, "uhelper", present);
    if (present && !helper.empty())
      return "by the desktop's disk service (" + helper + ")" +
             (media_user.empty() ? std::string() : " for user " + media_user);
    const std::string user = OptionValue(entry.Options, "user", present);
    if (present && !user.empty()) return "by user " + user;
  }
  if (mount.FsType.compare(0, 4, "fuse") == 0) {
    bool present = false;
    const std::string uid = OptionValue(mount.SuperOptions, "user_id", present);
    if (present) return "by " + UserText(lookups, uid) + " (through FUSE)";
  }
  if (!media_user.empty()) return "by the desktop for user " + media_user;
  return "by someone the system does not name";
}

}  // namespace quorvane
