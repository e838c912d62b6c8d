// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/recorded_drive.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/sha256.h"
#include "jobs/drive_manifest.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

void RecordEntry(const std::string& root, const std::string& id, const std::string& title,
                 const std::vector<std::pair<std::string, std::string>>& files) {
  TManifestEntry entry{id, title, 6, {}, "2026-12-11T04:20:00Z"};
  for (const auto& [name, content] : files) {
    const std::string file = std::string("Quorvane/") + id + "/" + name;
    WriteFile(root + file, content);
    entry.Files.push_back({file, content.size(), Sha256Hex(content)});
  }
  std::string error;
  ASSERT_TRUE(AddManifestEntry(root, entry, error)) << error;
}

void FlipByte(const std::string& path, long offset) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(file) << path;
  file.seekg(offset);
  const int got = file.get();
  ASSERT_NE(got, std::char_traits<char>::eof()) << path << " has no byte " << offset;
  const char byte = static_cast<char>(got ^ 0x20);
  file.seekp(offset);
  file.put(byte);
  ASSERT_TRUE(file.good()) << path;
}

}  // namespace quorvane::testing
