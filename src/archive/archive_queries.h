// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Size queries on an image or archive file read through the archive library. Item paths
// use "\" as separator ("casper\vmlinuz") and are compared exactly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// Size of the item at `item_path`; -1 when the file holds no such item or cannot be read.
std::int64_t GetArchiveItemSize(const std::string& file_name, const std::string& item_path);

// Sum of the sizes of all non-folder items. Throws std::exception when no format accepts
// the file or it cannot be listed.
std::int64_t GetArchiveContentSize(const std::string& file_name);

// Largest size of a non-folder item. Throws like GetArchiveContentSize.
std::int64_t GetArchiveLargestItemSize(const std::string& file_name);

// One file of an image, its path with "/" as separator ("casper/vmlinuz").
struct TArchiveFileItem {
  std::string Path;
  std::int64_t Size = 0;
};

// The files (not folders) of an image. False when no format accepts the file or it
// cannot be listed.
bool ListArchiveFiles(const std::string& file_name, std::vector<TArchiveFileItem>& files);

}  // namespace quorvane
