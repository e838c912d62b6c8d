// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The run's table from drive letters to volumes. A letter is a run-local handle for one
// volume of a USB disk (or a folder standing in for one); the table gives its root folder,
// under which the program keeps its own folder.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace quorvane {

class IDriveLetters {
 public:
  virtual ~IDriveLetters() = default;
  // Root folder of the volume behind `letter`, with a trailing "/", mounting the volume
  // when it is not mounted yet; empty when the letter names no volume.
  virtual std::string RootOf(char letter) = 0;
  // The same, with the reason in `error` when the root cannot be given.
  virtual std::string RootOf(char letter, std::string& error) {
    std::string root = RootOf(letter);
    error = root.empty() ? "Drive not found" : "";
    return root;
  }
  // The root for reading only: a volume that is not mounted yet is mounted read-only
  // where the table can; a table of folders gives the folder.
  virtual std::string ReadOnlyRootOf(char letter, std::string& error) {
    return RootOf(letter, error);
  }
  // The letter whose volume holds `path`, without mounting anything; 0 when none.
  virtual char LetterOfPath(const std::string& path) = 0;
  // Free bytes available to the caller on the letter's volume: -1 when it cannot be
  // queried, 0 when it is mounted read-only.
  virtual std::int64_t FreeSpace(char letter);
};

// The table of this run; none until a front end or a test installs one.
void SetDriveLetters(std::shared_ptr<IDriveLetters> letters);
std::shared_ptr<IDriveLetters> DriveLetters();

// Root folder of a drive letter through the installed table; empty when none.
std::string DriveRoot(char letter);

// The letter whose root folder holds `path` (the longest matching root); 0 when none.
char DriveLetterOfPath(const std::string& path);

// The program's folder under a drive's root folder ("<root>Quorvane/"), made when the
// drive has none. Empty, with the system's text in `error`, when it cannot be made or
// its name is taken by anything but a folder of the drive itself: a link there would
// carry every write made under it off the drive.
std::string ProgramFolderOnDrive(const std::string& root, std::string& error);

// Free bytes available to the caller on the drive of a lower-case letter: -1 when the
// letter names no volume (an upper-case letter never does) or the volume cannot be
// queried, 0 when it is mounted read-only.
std::int64_t GetDriveFreeSpace(char letter);

// Free bytes available to the caller in the file system of a folder: -1 when it cannot be
// queried, 0 when it is mounted read-only.
std::int64_t FreeSpaceOfFolder(const std::string& folder);

// The letter whose root (ending in "/") holds `path`, the longest match; 0 when none.
char LetterOfLongestRoot(const std::map<char, std::string>& roots, const std::string& path);

// A table of plain folders standing in for volumes: tests, and drives given as folders.
class TFolderDriveLetters : public IDriveLetters {
 public:
  void Map(char letter, const std::string& folder);
  void Unmap(char letter);
  using IDriveLetters::RootOf;
  std::string RootOf(char letter) override;
  char LetterOfPath(const std::string& path) override;
  // Reports `bytes` as the free space of `letter` instead of the folder's own.
  void SetFreeSpace(char letter, std::int64_t bytes);
  std::int64_t FreeSpace(char letter) override;

 private:
  std::mutex FLock;
  std::map<char, std::string> FRoots;
  std::map<char, std::int64_t> FFreeSpace;
};

}  // namespace quorvane
