// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <vector>

#include "archive/library_location.h"
#include "archive/sevenzip.h"
#include "common/constants.h"
#include "common/text.h"

namespace quorvane {

namespace {

std::mutex g_location_lock;
std::string g_temp_folder;
std::string g_lib_path;      // set by Prepare7zLibrary
std::string g_problem_path;  // the path the last failed preparation looked for

bool OwnerIsTrusted(const struct stat& info) {
  return info.st_uid == 0 || info.st_uid == ::geteuid();
}

bool WritableByOthers(const struct stat& info) { return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

}  // namespace

std::string Default7zLibraryPath() {
  const char* named = std::getenv("QUORVANE_7Z_LIBRARY");
  return named && *named ? std::string(named) : std::string(kInstalled7zLibrary);
}

namespace {

// A folder on the way to the file: ours or root's, and writable by no one else, unless it
// is a sticky folder of root's (such as /tmp), where others may add entries but not
// replace ours.
bool FolderIsTrusted(int fd, const std::string& name, std::string& why) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    why = "the folder " + Quoted(name) + " cannot be examined: " + SystemErrorText(errno);
    return false;
  }
  const bool sticky_of_root = (info.st_mode & S_ISVTX) && info.st_uid == 0;
  if (!OwnerIsTrusted(info) || (WritableByOthers(info) && !sticky_of_root)) {
    why = "the folder " + Quoted(name) + " can be written by another user";
    return false;
  }
  return true;
}

std::string Joined(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

int OpenTrustedFile(const std::string& path, std::string& why) {
  why.clear();
  if (path.empty()) {
    why = SystemErrorText(ENOENT);
    return -1;
  }
  // The path is walked one name at a time from an open folder, so that what is checked is
  // what is opened: a link is followed only when it belongs to root or to us, every folder
  // is checked on its open descriptor, and the file itself on the descriptor returned.
  std::vector<std::string> pending;  // names still to walk, the next one last
  const auto push_path = [&pending](const std::string& text) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at <= text.size()) {
      const std::size_t slash = text.find('/', at);
      const std::string name = text.substr(at, slash == std::string::npos ? std::string::npos
                                                                          : slash - at);
      if (!name.empty() && name != ".") names.push_back(name);
      if (slash == std::string::npos) break;
      at = slash + 1;
    }
    pending.insert(pending.end(), names.rbegin(), names.rend());
  };
  std::vector<int> folders;      // the open folders from the root down, the current last
  std::vector<std::string> names;  // their paths
  const auto close_all = [&folders] {
    for (int fd : folders) ::close(fd);
    folders.clear();
  };
  const auto open_root = [&]() -> bool {
    close_all();
    names.clear();
    const int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
      why = SystemErrorText(errno);
      return false;
    }
    folders.push_back(root);
    names.push_back("/");
    return FolderIsTrusted(root, "/", why);
  };
  // A relative name starts in the working folder, whose own path is walked as well.
  std::string absolute = path;
  if (absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) {
      why = SystemErrorText(errno);
      return -1;
    }
    absolute = std::string(cwd) + "/" + path;
  }
  if (!open_root()) return close_all(), -1;
  push_path(absolute);

  int links = 0;
  while (!pending.empty()) {
    const std::string name = pending.back();
    pending.pop_back();
    const int folder = folders.back();
    const std::string shown = Joined(names.back(), name);
    if (name == "..") {
      if (folders.size() > 1) {
        ::close(folders.back());
        folders.pop_back();
        names.pop_back();
      }
      continue;
    }
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      why = SystemErrorText(errno);
      return close_all(), -1;
    }
    if (S_ISLNK(info.st_mode)) {
      if (!OwnerIsTrusted(info)) {
        why = "the link " + Quoted(shown) + " belongs to another user";
        return close_all(), -1;
      }
      if (++links > 40) {
        why = SystemErrorText(ELOOP);
        return close_all(), -1;
      }
      char target[PATH_MAX];
      const ssize_t length = ::readlinkat(folder, name.c_str(), target, sizeof target - 1);
      if (length <= 0) {
        why = SystemErrorText(length < 0 ? errno : ENOENT);
        return close_all(), -1;
      }
      target[length] = '\0';
      // A link swapped for another after the look above fails the open below: every open
      // follows no link.
      if (target[0] == '/' && !open_root()) return close_all(), -1;
      push_path(target);
      continue;
    }
    if (!pending.empty()) {
      const int next = ::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) {
        why = errno == ENOTDIR ? "the folder " + Quoted(shown) + " is not a folder"
                               : SystemErrorText(errno);
        return close_all(), -1;
      }
      folders.push_back(next);
      names.push_back(shown);
      if (!FolderIsTrusted(next, shown, why)) return close_all(), -1;
      continue;
    }
    // The file itself.
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY |
                                                      O_NONBLOCK);
    if (fd < 0) {
      why = SystemErrorText(errno);
      return close_all(), -1;
    }
    close_all();
    if (::fstat(fd, &info) != 0) {
      why = SystemErrorText(errno);
      ::close(fd);
      return -1;
    }
    if (!S_ISREG(info.st_mode)) {
      why = "not a regular file";
      ::close(fd);
      return -1;
    }
    if (!OwnerIsTrusted(info) || WritableByOthers(info)) {
      why = "the file can be written by another user";
      ::close(fd);
      return -1;
    }
    return fd;
  }
  // The path named a folder.
  close_all();
  why = "not a regular file";
  return -1;
}

bool PathIsTrusted(const std::string& path, std::string& why) {
  const int fd = OpenTrustedFile(path, why);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool FolderIsPrivate(const std::string& folder, std::string& why) {
  struct stat info {};
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (::lstat(path.c_str(), &info) != 0) {
    why = SystemErrorText(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    why = "not a folder";
    return false;
  }
  if (info.st_uid != ::geteuid()) {
    why = "the folder belongs to another user";
    return false;
  }
  if (WritableByOthers(info)) {
    why = "the folder can be written by other users";
    return false;
  }
  return true;
}

namespace {

// The private folder made with mkdtemp because the usual name was taken, and what was
// found when no private folder could be had.
std::string g_made_folder;
std::string g_folder_problem;

void RemoveMadeFolder() {
  std::lock_guard<std::mutex> guard(g_location_lock);
  if (!g_made_folder.empty()) ::rmdir(g_made_folder.c_str());  // only when left empty
}

}  // namespace

std::string GetProgramTempFolder() {
  // Under the session's runtime folder when it is ours, else in the temporary folder
  // under a name of our own user.
  std::string base;
  std::string name = kProgramFolderName;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info {};
  if (runtime && *runtime == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
      info.st_uid == ::geteuid()) {
    base = runtime;
  } else {
    const char* temp = std::getenv("TMPDIR");
    base = temp && *temp == '/' ? temp : "/tmp";
    name += "-" + std::to_string(::geteuid());
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string usual = WithTrailingSlash(base) + name;
  std::error_code ignored;
  std::filesystem::create_directories(base, ignored);
  // A fresh folder is private from its creation on.
  ::mkdir(usual.c_str(), 0700);
  std::string why;
  std::lock_guard<std::mutex> guard(g_location_lock);
  g_folder_problem.clear();
  if (FolderIsPrivate(usual, why)) return WithTrailingSlash(usual);
  // The name is taken by something that is not ours (another user may have planted a
  // folder or a link there): a private folder of another name, made for this run.
  if (!g_made_folder.empty() && ::access(g_made_folder.c_str(), F_OK) == 0) {
    std::string ignored_why;
    if (g_made_folder.compare(0, usual.size() + 1, usual + "-") == 0 &&
        FolderIsPrivate(g_made_folder, ignored_why))
      return WithTrailingSlash(g_made_folder);
  }
  std::string pattern = usual + "-XXXXXX";
  if (::mkdtemp(pattern.data())) {
    static const bool registered = (std::atexit(RemoveMadeFolder), true);
    (void)registered;
    g_made_folder = pattern;
    return WithTrailingSlash(pattern);
  }
  g_folder_problem = "no private temporary folder can be made: " + usual + " is taken (" + why +
                     ") and " + base + " takes no other (" + SystemErrorText(errno) + ")";
  return WithTrailingSlash(usual);
}

bool Prepare7zLibrary() {
  const std::string folder = GetProgramTempFolder();
  const std::string lib = Default7zLibraryPath();
  std::lock_guard<std::mutex> guard(g_location_lock);
  g_temp_folder = folder;
  g_lib_path = lib;
  std::string why;
  if (!g_folder_problem.empty() || !FolderIsPrivate(folder, why)) {
    g_problem_path = folder;
    return false;
  }
  if (!PathIsTrusted(lib, why)) {
    g_problem_path = lib;
    return false;
  }
  // The file must also be a format library that loads.
  try {
    T7zArchive check(lib);
  } catch (...) {
    g_problem_path = lib;
    return false;
  }
  g_problem_path.clear();
  return true;
}

bool Check7zLibrary(const std::string& path, std::string& why) {
  if (!PathIsTrusted(path, why)) return false;
  try {
    T7zArchive check(path);
  } catch (const std::exception& e) {
    why = e.what();
    return false;
  }
  return true;
}

std::string ArchiveLibraryProblem() {
  const std::string path = Lib7zPath();
  std::string why;
  if (Check7zLibrary(path, why)) return {};
  return "the archive library " + path + " cannot be used: " + why;
}

std::string TempFolder() {
  std::lock_guard<std::mutex> guard(g_location_lock);
  return g_temp_folder;
}

std::string Lib7zPath() {
  {
    std::lock_guard<std::mutex> guard(g_location_lock);
    if (!g_lib_path.empty()) return g_lib_path;
  }
  return Default7zLibraryPath();
}

std::string Lib7zStartupErrorMessage() {
  std::string path;
  {
    std::lock_guard<std::mutex> guard(g_location_lock);
    path = g_problem_path;
  }
  if (path.empty()) path = Lib7zPath();
  // A folder that is not ours says so: that is no trouble with the library.
  std::string folder_problem;
  {
    std::lock_guard<std::mutex> guard(g_location_lock);
    if (path == g_temp_folder) folder_problem = g_folder_problem;
  }
  if (!folder_problem.empty())
    return "The program cannot start: " + folder_problem + "\r\n" +
           "Application could not run without it...";
  return "Error with unpacking 7z.dll to temporary folder " + path + "\r\n" +
         "Application could not run without it...";
}

std::string Prepare7zLibraryOrMessage() {
  return Prepare7zLibrary() ? std::string() : Lib7zStartupErrorMessage();
}

}  // namespace quorvane
