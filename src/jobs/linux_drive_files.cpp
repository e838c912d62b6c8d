// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Each folder is opened with openat(O_NOFOLLOW | O_DIRECTORY) from the one before, so a
// symbolic link anywhere on the way is refused rather than followed, and the file is read
// through /proc/self/fd/<folder>/<name>: the folder is the one that was checked, whatever
// has been renamed since.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/constants.h"
#include "common/text.h"
#include "jobs/drive_files.h"

namespace quorvane {

namespace {

std::string Joined(const std::vector<std::string>& parts, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count && i < parts.size(); ++i) path += (i ? "/" : "") + parts[i];
  return path;
}

// Opens the folder of parts[0..count) under root; -1 with the state of the failure.
int OpenFolder(const std::string& root, const std::vector<std::string>& parts, std::size_t count,
               TDriveFile::TState& state, std::size_t& missing, std::string& why) {
  int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    state = TDriveFile::Failed;
    why = "the drive's folder cannot be opened: " + SystemErrorText(errno);
    return -1;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const int next = ::openat(folder, parts[i].c_str(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    const int code = errno;
    // With O_DIRECTORY a link fails with ENOTDIR rather than ELOOP: a look tells them apart.
    struct stat st {};
    const bool link = next < 0 &&
                      ::fstatat(folder, parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(st.st_mode);
    ::close(folder);
    if (next >= 0) {
      folder = next;
      continue;
    }
    if (code == ENOENT) {
      state = TDriveFile::Missing;
      missing = i;
    } else if (link || code == ELOOP || code == ENOTDIR) {
      state = TDriveFile::Refused;
      why = Joined(parts, i + 1) +
            (link || code == ELOOP ? " is a symbolic link" : " is not a folder");
    } else {
      state = TDriveFile::Failed;
      why = Joined(parts, i + 1) + " cannot be opened: " + SystemErrorText(code);
    }
    return -1;
  }
  return folder;
}

}  // namespace

bool RecordedPathParts(const std::string& file, std::vector<std::string>& parts, std::string& why) {
  parts.clear();
  if (file.empty() || file.front() == '/') {
    why = "\"" + file + "\" is not a path inside the drive's " + kProgramFolderName + " folder";
    return false;
  }
  std::size_t at = 0;
  for (;;) {
    const std::size_t slash = file.find('/', at);
    const std::string part = file.substr(at, slash == std::string::npos ? slash : slash - at);
    if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string::npos) {
      why = "\"" + file + "\" leaves the drive's " + kProgramFolderName + " folder";
      parts.clear();
      return false;
    }
    parts.push_back(part);
    if (slash == std::string::npos) break;
    at = slash + 1;
  }
  if (parts.size() < 2 || parts[0] != kProgramFolderName) {
    why = "\"" + file + "\" is not a file inside the drive's " + kProgramFolderName + " folder";
    parts.clear();
    return false;
  }
  return true;
}

TDriveFile::TDriveFile(const std::string& root, const std::vector<std::string>& parts) {
  if (parts.empty()) {
    FWhy = "no file named";
    return;
  }
  FFolder = OpenFolder(root, parts, parts.size() - 1, FState, FMissingPart, FWhy);
  if (FFolder < 0) return;
  FLeaf = parts.back();
  struct stat st {};
  if (::fstatat(FFolder, FLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) {
      FState = Missing;
      FMissingPart = parts.size() - 1;
    } else {
      FState = Failed;
      FWhy = Joined(parts, parts.size()) + " cannot be looked at: " + SystemErrorText(errno);
    }
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    FState = Refused;
    FWhy = Joined(parts, parts.size()) +
           (S_ISLNK(st.st_mode) ? " is a symbolic link" : " is not a regular file");
    return;
  }
  FState = Regular;
  FSize = static_cast<std::uint64_t>(st.st_size);
}

TDriveFile::~TDriveFile() {
  if (FFolder >= 0) ::close(FFolder);
}

std::string TDriveFile::ReadPath() const {
  return "/proc/self/fd/" + std::to_string(FFolder) + "/" + FLeaf;
}

bool ListDriveFolder(const std::string& root, const std::vector<std::string>& parts,
                     std::vector<TDriveFolderItem>& items) {
  items.clear();
  TDriveFile::TState state;
  std::size_t missing = 0;
  std::string why;
  const int folder = OpenFolder(root, parts, parts.size(), state, missing, why);
  if (folder < 0) return false;
  DIR* dir = ::fdopendir(folder);
  if (!dir) {
    ::close(folder);
    return false;
  }
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    const bool is_folder =
        ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    items.push_back({name, is_folder});
  }
  ::closedir(dir);
  return true;
}

}  // namespace quorvane
