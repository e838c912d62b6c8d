// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Archive fixtures made at test time: ISO images from xorriso, 7z archives from the 7z
// command, zip files written byte by byte (for paths no archiver would store), sparse
// files, and a copy of the archive library in a folder of the test's own.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drive/drive_letters.h"

namespace quorvane::testing {

// An ISO 9660 image (Rock Ridge always, Joliet when asked) of the folder `tree`.
// Fails the test on a tool error.
void MakeIso(const std::string& tree, const std::string& image, bool joliet);

// A 7z archive of the folder `tree`'s contents; `options` go to "7z a" (e.g. "-mx=1").
void Make7z(const std::string& tree, const std::string& archive,
            const std::vector<std::string>& options = {});

struct TZipEntry {
  std::string Name;
  std::string Data;
  std::uint32_t UnixMode = 0100644;     // 0120777 for a symbolic link (Data = its target)
  std::uint64_t DeclaredSize = 0;       // with LargeDeclared: the size the directory states
  bool LargeDeclared = false;           // zip64 sizes, a tiny deflate stream as data
  bool IsFolder = false;
};
// An entry that states `size` bytes without holding them, and a folder entry.
TZipEntry LargeZipEntry(const std::string& name, std::uint64_t size);
TZipEntry ZipFolder(const std::string& name);
// A zip file holding exactly these entries, names as given.
void MakeZip(const std::string& path, const std::vector<TZipEntry>& entries);

// The ways a folder-backed drive is pulled: its folder removed, or its letter unmapped.
std::vector<std::pair<std::string, std::function<void()>>> DrivePulls(
    const std::string& root, const std::shared_ptr<TFolderDriveLetters>& letters, char letter);

// A file of `size` bytes that takes no room on disk.
void MakeSparseFile(const std::string& path, std::uint64_t size);

// Builds the tree under `root` from "relative/path" -> content pairs.
void MakeTree(const std::string& root,
              const std::vector<std::pair<std::string, std::string>>& files);

// The files under `root` (relative paths, "/" separated, sorted), folders with a
// trailing "/".
std::vector<std::string> ListTree(const std::string& root);

// Limits the size of files this process may write while it lives: writes beyond it fail
// with EFBIG, as on a full drive.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = FOld;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FOld);
    ::signal(SIGXFSZ, FOldHandler);
  }

 private:
  rlimit FOld{};
  sighandler_t FOldHandler;
};

}  // namespace quorvane::testing
