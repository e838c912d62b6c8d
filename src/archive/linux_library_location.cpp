// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>

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

bool PathIsTrusted(const std::string& path, std::string& why) {
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) {
    why = SystemErrorText(errno);
    return false;
  }
  struct stat info {};
  if (::stat(resolved, &info) != 0) {
    why = SystemErrorText(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    why = "not a regular file";
    return false;
  }
  if (!OwnerIsTrusted(info) || WritableByOthers(info)) {
    why = "the file can be written by another user";
    return false;
  }
  // Every folder above the file, up to the root.
  std::filesystem::path folder = std::filesystem::path(resolved).parent_path();
  while (true) {
    if (::stat(folder.c_str(), &info) != 0) {
      why = SystemErrorText(errno);
      return false;
    }
    const bool sticky_of_root = (info.st_mode & S_ISVTX) && info.st_uid == 0;
    if (!OwnerIsTrusted(info) || (WritableByOthers(info) && !sticky_of_root)) {
      why = "the folder " + Quoted(folder.string()) + " can be written by another user";
      return false;
    }
    if (folder == folder.root_path() || folder.empty()) break;
    folder = folder.parent_path();
  }
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
  const std::string folder = WithTrailingSlash(WithTrailingSlash(base) + name);
  // Failures show when the folder is checked (FolderIsPrivate). A fresh folder is
  // private from its creation on.
  std::error_code ignored;
  std::filesystem::create_directories(base, ignored);
  ::mkdir(folder.c_str(), 0700);
  return folder;
}

bool Prepare7zLibrary() {
  const std::string folder = GetProgramTempFolder();
  const std::string lib = Default7zLibraryPath();
  std::lock_guard<std::mutex> guard(g_location_lock);
  g_temp_folder = folder;
  g_lib_path = lib;
  std::string why;
  if (!FolderIsPrivate(folder, why)) {
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
  return "Error with unpacking 7z.dll to temporary folder " + path + "\r\n" +
         "Application could not run without it...";
}

std::string Prepare7zLibraryOrMessage() {
  return Prepare7zLibrary() ? std::string() : Lib7zStartupErrorMessage();
}

}  // namespace quorvane
