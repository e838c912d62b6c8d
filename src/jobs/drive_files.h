// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A file that a drive's own records name, reached inside the program's folder on the drive
// folder by folder, never through a symbolic link: the records are the drive's, and
// whoever had the drive may have written anything into them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// The parts of a recorded path ("Quorvane/ID/x.iso") when it stays inside the program's
// folder: relative, "/" separated, no empty, "." or ".." part, no NUL. Otherwise false
// with the reason in `why`.
bool RecordedPathParts(const std::string& file, std::vector<std::string>& parts, std::string& why);

class TDriveFile {
 public:
  enum TState {
    Regular,  // found: Size() and ReadPath() are good
    Missing,  // the file, or the folder MissingPart() names, is not there
    Refused,  // a link or something other than a folder or file on the way: Why()
    Failed,   // the system refused a look: Why()
  };

  // Looks for the file of `parts` (from RecordedPathParts) under the drive's root folder.
  TDriveFile(const std::string& root, const std::vector<std::string>& parts);
  ~TDriveFile();
  TDriveFile(const TDriveFile&) = delete;
  TDriveFile& operator=(const TDriveFile&) = delete;

  TState State() const { return FState; }
  std::uint64_t Size() const { return FSize; }
  const std::string& Why() const { return FWhy; }
  // How many parts of the path are there: with Missing, parts[MissingPart()] is not.
  std::size_t MissingPart() const { return FMissingPart; }
  // A path of the file that goes through the folder opened here, so that nothing swapped
  // in on the way since the look is followed; ReadBackFile refuses a link as its last part.
  std::string ReadPath() const;

 private:
  TState FState = Failed;
  std::uint64_t FSize = 0;
  std::string FWhy;
  std::size_t FMissingPart = 0;
  int FFolder = -1;
  std::string FLeaf;
};

// The names in the folder `parts` under the root (reached as TDriveFile does), with
// whether each is a folder; false when the folder cannot be reached or read.
struct TDriveFolderItem {
  std::string Name;
  bool Folder = false;
};
bool ListDriveFolder(const std::string& root, const std::vector<std::string>& parts,
                     std::vector<TDriveFolderItem>& items);

}  // namespace quorvane
