// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/archive_queries.h"

#include <algorithm>

#include "archive/sevenzip.h"
#include "common/text.h"

namespace quorvane {

T7zInArchiveRef NewInArchive(const sevenzip::GUID& classid, const std::string& lib) {
  auto archive = std::make_shared<T7zInArchive>(lib);
  archive->SetFormat(classid);
  return archive;
}

void ReleaseArchive(T7zInArchiveRef& archive) {
  if (!archive) return;
  try {
    archive->CloseArchive();
  } catch (...) {
  }
  archive.reset();
}

bool TryOpenArchive(const std::string& file_name, const sevenzip::GUID& classid,
                    T7zInArchiveRef& archive) {
  archive.reset();
  try {
    archive = NewInArchive(classid, Lib7zPath());
    archive->OpenArchiveFile(file_name);
  } catch (...) {
    // Includes a format that does not recognise the file: its open answers S_FALSE.
    ReleaseArchive(archive);
  }
  return archive != nullptr;
}

bool OpenArchive(const std::string& file_name, T7zInArchiveRef& archive) {
  archive.reset();
  for (const T7zFormat& format : k7zProbedFormats)
    if (TryOpenArchive(file_name, format.ClassId, archive)) return true;
  return false;
}

std::int32_t FindArchiveItem(const T7zInArchiveRef& archive, const std::string& item_path) {
  if (!archive) return -1;
  const std::string wanted = ReplaceAll(item_path, "\\", "/");
  std::int32_t found = -1;
  const std::uint32_t count = archive->ItemCount();
  for (std::uint32_t i = 0; i < count; ++i)
    if (archive->ItemPathAt(i) == wanted) found = static_cast<std::int32_t>(i);
  return found;
}

std::int32_t FindArchiveFileItem(const std::string& file_name, const std::string& item_path) {
  T7zInArchiveRef archive;
  std::int32_t index = -1;
  try {
    if (OpenArchive(file_name, archive)) index = FindArchiveItem(archive, item_path);
  } catch (...) {
    index = -1;
  }
  ReleaseArchive(archive);
  return index;
}

std::int64_t GetContentSize(const T7zInArchiveRef& archive) {
  if (!archive) return 0;
  std::int64_t sum = 0;
  const std::uint32_t count = archive->ItemCount();
  for (std::uint32_t i = 0; i < count; ++i)
    if (!archive->IsFolderAt(i)) sum += archive->ItemSizeAt(i);
  return sum;
}

std::int64_t GetLargestItemSize(const T7zInArchiveRef& archive) {
  if (!archive) return 0;
  std::int64_t largest = 0;
  const std::uint32_t count = archive->ItemCount();
  for (std::uint32_t i = 0; i < count; ++i)
    if (!archive->IsFolderAt(i)) largest = std::max(largest, archive->ItemSizeAt(i));
  return largest;
}

std::int64_t GetArchiveItemSize(const std::string& file_name, const std::string& item_path) {
  T7zInArchiveRef archive;
  std::int64_t size = -1;
  try {
    if (OpenArchive(file_name, archive)) {
      const std::int32_t index = FindArchiveItem(archive, item_path);
      if (index >= 0) size = archive->ItemSizeAt(static_cast<std::uint32_t>(index));
    }
  } catch (...) {
    size = -1;
  }
  ReleaseArchive(archive);
  return size;
}

namespace {

// Opens the file with probing, computes, and releases the archive; throws when no format
// accepts the file or the computation fails.
template <typename Compute>
std::int64_t ComputeOnArchiveFile(const std::string& file_name, Compute compute) {
  T7zInArchiveRef archive;
  if (!OpenArchive(file_name, archive))
    throw E7zError("No archive format accepts " + Quoted(file_name));
  try {
    const std::int64_t result = compute(archive);
    ReleaseArchive(archive);
    return result;
  } catch (...) {
    ReleaseArchive(archive);
    throw;
  }
}

}  // namespace

std::int64_t GetArchiveContentSize(const std::string& file_name) {
  return ComputeOnArchiveFile(file_name, GetContentSize);
}

std::int64_t GetArchiveLargestItemSize(const std::string& file_name) {
  return ComputeOnArchiveFile(file_name, GetLargestItemSize);
}

bool ListArchiveFiles(const std::string& file_name, std::vector<TArchiveFileItem>& files) {
  files.clear();
  T7zInArchiveRef archive;
  bool listed = false;
  try {
    if (OpenArchive(file_name, archive)) {
      const std::uint32_t count = archive->ItemCount();
      for (std::uint32_t i = 0; i < count; ++i)
        if (!archive->IsFolderAt(i)) files.push_back({archive->ItemPathAt(i), archive->ItemSizeAt(i)});
      listed = true;
    }
  } catch (...) {
    files.clear();
    listed = false;
  }
  ReleaseArchive(archive);
  return listed;
}

}  // namespace quorvane
