// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A temporary folder that is removed with everything in it when the test ends.
#pragma once

#include <string>

namespace quorvane::testing {

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The folder, with a trailing "/".
  const std::string& path() const { return FPath; }
  // Path of `name` inside the folder.
  std::string operator/(const std::string& name) const { return FPath + name; }

 private:
  std::string FPath;
};

// Writes `content` to `path`, creating missing folders.
void WriteFile(const std::string& path, const std::string& content);
// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

}  // namespace quorvane::testing
