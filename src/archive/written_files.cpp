// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/written_files.h"

#include <algorithm>

#include "common/crc32c.h"

namespace quorvane {

void TWriteDigest::AddPieces(const char* bytes, std::size_t length, std::uint64_t offset) {
  if (offset != FSize) FInOrder = false;
  if (!FInOrder || length == 0) return;
  while (length > 0) {
    const std::size_t room = kWrittenBlockSize - static_cast<std::size_t>(FSize % kWrittenBlockSize);
    const std::size_t piece = std::min(room, length);
    FSum = Crc32c(FSum, bytes, piece);
    if (piece == room) {
      FSums.push_back(FSum);
      FSum = 0;
    }
    bytes += piece;
    length -= piece;
    FSize += piece;
  }
}

TWrittenFile TWriteDigest::Finish(const std::string& path, const std::string& source) {
  TWrittenFile file;
  file.Path = path;
  file.Size = FSize;
  if (FWholeWanted) file.Sha256 = FWhole.Hex();
  file.Source = source;
  if (FSize % kWrittenBlockSize != 0) FSums.push_back(FSum);
  file.BlockSums = std::move(FSums);
  file.Device = std::move(FDevice);
  file.DeviceOffset = FDeviceOffset;
  FSums.clear();
  FSum = 0;
  FSize = 0;
  FInOrder = true;
  FDevice.clear();
  FDeviceOffset = 0;
  return file;
}

TWrittenFile WrittenText(const std::string& path, const std::string& text) {
  TWriteDigest digest;
  digest.Add(text.data(), text.size(), 0);
  return digest.Finish(path);
}

void TWrittenFiles::Add(TWrittenFile file) {
  std::lock_guard<std::mutex> guard(FLock);
  std::erase_if(FFiles, [&](const TWrittenFile& f) { return f.Path == file.Path; });
  FFiles.push_back(std::move(file));
}

std::vector<TWrittenFile> TWrittenFiles::Files() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FFiles;
}

void TWrittenFiles::Clear() {
  std::lock_guard<std::mutex> guard(FLock);
  FFiles.clear();
}

}  // namespace quorvane
