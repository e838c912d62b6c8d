// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/drive_letters.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>

#include "common/constants.h"
#include "common/text.h"

namespace quorvane {

namespace {
std::mutex g_letters_lock;
std::shared_ptr<IDriveLetters> g_letters;
}  // namespace

void SetDriveLetters(std::shared_ptr<IDriveLetters> letters) {
  std::lock_guard<std::mutex> guard(g_letters_lock);
  g_letters = std::move(letters);
}

std::shared_ptr<IDriveLetters> DriveLetters() {
  std::lock_guard<std::mutex> guard(g_letters_lock);
  return g_letters;
}

std::string DriveRoot(char letter) {
  if (letter < 'a' || letter > 'z') return {};
  std::shared_ptr<IDriveLetters> letters = DriveLetters();
  if (!letters) return {};
  return letters->RootOf(letter);
}

char DriveLetterOfPath(const std::string& path) {
  std::shared_ptr<IDriveLetters> letters = DriveLetters();
  return letters ? letters->LetterOfPath(path) : 0;
}

std::string ProgramFolderOnDrive(const std::string& root, std::string& error) {
  const std::string folder = root + kProgramFolderName;
  struct stat st {};
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    error = SystemErrorText(errno);
    return {};
  }
  if (::lstat(folder.c_str(), &st) != 0) {
    error = SystemErrorText(errno);
    return {};
  }
  if (!S_ISDIR(st.st_mode)) {
    error = SystemErrorText(ENOTDIR);
    return {};
  }
  return folder + "/";
}

std::int64_t GetDriveFreeSpace(char letter) {
  if (letter < 'a' || letter > 'z') return -1;
  std::shared_ptr<IDriveLetters> letters = DriveLetters();
  return letters ? letters->FreeSpace(letter) : -1;
}

std::int64_t IDriveLetters::FreeSpace(char letter) {
  const std::string root = RootOf(letter);
  if (root.empty()) return -1;
  return FreeSpaceOfFolder(root);
}

std::int64_t FreeSpaceOfFolder(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return -1;
  if (info.f_flag & ST_RDONLY) return 0;
  return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

void TFolderDriveLetters::Map(char letter, const std::string& folder) {
  std::lock_guard<std::mutex> guard(FLock);
  std::string root = folder;
  if (root.empty() || root.back() != '/') root.push_back('/');
  FRoots[letter] = root;
}

void TFolderDriveLetters::Unmap(char letter) {
  std::lock_guard<std::mutex> guard(FLock);
  FRoots.erase(letter);
}

std::string TFolderDriveLetters::RootOf(char letter) {
  std::lock_guard<std::mutex> guard(FLock);
  auto it = FRoots.find(letter);
  return it == FRoots.end() ? std::string() : it->second;
}

void TFolderDriveLetters::SetFreeSpace(char letter, std::int64_t bytes) {
  std::lock_guard<std::mutex> guard(FLock);
  FFreeSpace[letter] = bytes;
}

std::int64_t TFolderDriveLetters::FreeSpace(char letter) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    auto it = FFreeSpace.find(letter);
    if (it != FFreeSpace.end() && FRoots.count(letter)) return it->second;
  }
  return IDriveLetters::FreeSpace(letter);
}

char TFolderDriveLetters::LetterOfPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(FLock);
  return LetterOfLongestRoot(FRoots, path);
}

char LetterOfLongestRoot(const std::map<char, std::string>& roots, const std::string& path) {
  char best = 0;
  std::size_t best_length = 0;
  for (const auto& [letter, root] : roots) {
    // Roots end with "/", so "/a/b/" never matches "/a/bc/...".
    const bool inside = path.compare(0, root.size(), root) == 0 || path + "/" == root;
    if (inside && root.size() > best_length) {
      best = letter;
      best_length = root.size();
    }
  }
  return best;
}

}  // namespace quorvane
