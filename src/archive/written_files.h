// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What a job wrote onto a drive: each file with the SHA-256 of the bytes handed to the
// drive (for the drive's manifest) and a CRC-32C of each of its pieces, taken while they
// were written, so that the drive's copy can be read back and compared afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/sha256.h"

namespace quorvane {

// The pieces a file is checked in: a read-back compares their CRC-32C, which the processor
// computes several times faster than SHA-256, and names the first piece that differs.
inline constexpr std::size_t kWrittenBlockSize = 4u << 20;

struct TWrittenFile {
  std::string Path;    // native path on the drive
  std::uint64_t Size = 0;
  std::string Sha256;  // lower-case hex of every byte written
  // A plain file on the computer that holds the same bytes (the image copied); empty for
  // files made from an archive or in memory.
  std::string Source;
  // The CRC-32C of each kWrittenBlockSize piece, in order.
  std::vector<std::uint32_t> BlockSums;
  // The block device whose bytes from DeviceOffset on hold the file in one run, when it
  // was written there straight; empty when the file system placed it.
  std::string Device;
  std::uint64_t DeviceOffset = 0;
};

// Digests the bytes of one file as they are written, which must be in order from the
// start; a write anywhere else leaves the digest of no use (InOrder false).
class TWriteDigest {
 public:
  // `whole`: the SHA-256 of every byte too (the pieces' sums are always taken).
  explicit TWriteDigest(bool whole = true) : FWholeWanted(whole) {}
  // Both digests of the next bytes.
  void Add(const char* bytes, std::size_t length, std::uint64_t offset) {
    AddPieces(bytes, length, offset);
    if (FInOrder) AddWhole(bytes, length);
  }
  // The two halves of Add touch separate state: one thread may take the pieces' sums while
  // another takes the SHA-256 of the same bytes, each in order.
  void AddPieces(const char* bytes, std::size_t length, std::uint64_t offset);
  void AddWhole(const char* bytes, std::size_t length) {
    if (FWholeWanted) FWhole.Update(bytes, length);
  }
  bool InOrder() const { return FInOrder; }
  std::uint64_t Size() const { return FSize; }
  // The bytes went straight to `device`, the file's first at `offset`.
  void SetDevicePlace(const std::string& device, std::uint64_t offset) {
    FDevice = device;
    FDeviceOffset = offset;
  }
  // The record of the file at `path`; the digest starts over.
  TWrittenFile Finish(const std::string& path, const std::string& source = {});

 private:
  bool FWholeWanted;
  bool FInOrder = true;
  std::uint64_t FSize = 0;
  TSha256 FWhole;
  std::uint32_t FSum = 0;  // of the piece under way
  std::vector<std::uint32_t> FSums;
  std::string FDevice;
  std::uint64_t FDeviceOffset = 0;
};

// The record of a file held in memory and written whole (a menu file).
TWrittenFile WrittenText(const std::string& path, const std::string& text);

// The files of one job, filled by the thread that writes them (the archive library's
// threads among them) and read once the writing is over.
class TWrittenFiles {
 public:
  // A later record of the same path replaces the earlier one.
  void Add(TWrittenFile file);
  std::vector<TWrittenFile> Files() const;
  void Clear();

 private:
  mutable std::mutex FLock;
  std::vector<TWrittenFile> FFiles;
};

}  // namespace quorvane
