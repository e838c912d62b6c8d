// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// In-memory disks for the capacity check: an honest one, and drives that claim more than
// they really hold and, past their real size, wrap around, read back zeros, drop writes
// or refuse the blocks. Unwritten bytes hold a pattern that stands for the user's data.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "drive/raw_block_device.h"

namespace quorvane::testing {

enum class TFakeKind { Honest, Wraps, Zeros, DropsWrites, Refuses };

class TMemoryDisk : public IRawBlockDevice {
 public:
  static constexpr std::int64_t kChunk = 4096;

  TMemoryDisk(std::int64_t claimed, std::int64_t real, TFakeKind kind, std::uint32_t block = 512)
      : FClaimed(claimed),
        FReal(kind == TFakeKind::Honest ? claimed : real),
        FKind(kind),
        FBlock(block) {}

  std::int64_t Size() const override { return FClaimed; }
  std::uint32_t BlockSize() const override { return FBlock; }

  TRawIo ReadAt(std::int64_t offset, void* data, std::size_t length, std::string& error) override {
    if (const TRawIo io = Check(offset, length, error); io != TRawIo::Ok) return io;
    auto* out = static_cast<unsigned char*>(data);
    const bool ok = Segments(offset, length, [&](std::int64_t at, std::size_t n, std::size_t i) {
      if (at >= FReal && FKind == TFakeKind::Zeros) {
        std::memset(out + i, 0, n);
        return true;
      }
      if (at >= FReal && FKind == TFakeKind::Refuses) return false;
      const std::int64_t physical = Physical(at);
      const auto it = FChunks.find(physical / kChunk);
      if (it != FChunks.end()) {
        std::memcpy(out + i, it->second.data() + physical % kChunk, n);
      } else {
        for (std::size_t k = 0; k < n; ++k)
          out[i + k] = Original(physical + static_cast<std::int64_t>(k));
      }
      return true;
    });
    if (!ok) {
      error = "Input/output error";
      return TRawIo::BadBlock;
    }
    ++Reads;
    return TRawIo::Ok;
  }

  TRawIo WriteAt(std::int64_t offset, const void* data, std::size_t length,
                 std::string& error) override {
    if (const TRawIo io = Check(offset, length, error); io != TRawIo::Ok) return io;
    if (FailWritesAfter >= 0 && Writes >= FailWritesAfter) {
      error = "No such device";
      return TRawIo::Failed;
    }
    const auto* in = static_cast<const unsigned char*>(data);
    const bool ok = Segments(offset, length, [&](std::int64_t at, std::size_t n, std::size_t i) {
      if (at >= FReal && FKind == TFakeKind::Refuses) return false;
      if (at >= FReal && FKind != TFakeKind::Wraps) return true;  // lost
      const std::int64_t physical = Physical(at);
      std::memcpy(Chunk(physical / kChunk).data() + physical % kChunk, in + i, n);
      return true;
    });
    if (!ok) {
      error = "Input/output error";
      return TRawIo::BadBlock;
    }
    ++Writes;
    return TRawIo::Ok;
  }

  bool Flush(std::string&) override { return true; }

  // The pattern that unwritten storage holds.
  static unsigned char Original(std::int64_t physical) {
    const std::uint64_t x = static_cast<std::uint64_t>(physical) * 0x9E3779B97F4A7C15ULL;
    return static_cast<unsigned char>(x >> 56);
  }
  // Offsets of real storage whose bytes differ from what they held at the start.
  std::vector<std::int64_t> ChangedStorage() const {
    std::vector<std::int64_t> changed;
    for (const auto& [chunk, bytes] : FChunks)
      for (std::int64_t i = 0; i < kChunk; ++i)
        if (bytes[i] != Original(chunk * kChunk + i)) {
          changed.push_back(chunk * kChunk + i);
          break;
        }
    return changed;
  }

  int Reads = 0, Writes = 0;
  int FailWritesAfter = -1;  // writes after this many fail as if the drive was pulled

 private:
  TRawIo Check(std::int64_t offset, std::size_t length, std::string& error) const {
    if (offset < 0 || offset % FBlock || length % FBlock ||
        offset + static_cast<std::int64_t>(length) > FClaimed) {
      error = "Invalid argument";
      return TRawIo::Failed;
    }
    return TRawIo::Ok;
  }
  std::int64_t Physical(std::int64_t at) const {
    return FKind == TFakeKind::Wraps ? at % FReal : at;
  }
  // Calls `part`(logical offset, length, index into the buffer) for pieces that lie in one
  // chunk of storage and on one side of the real size (or of a wrap); false when one did.
  template <typename F>
  bool Segments(std::int64_t offset, std::size_t length, F&& part) const {
    std::size_t done = 0;
    while (done < length) {
      const std::int64_t at = offset + static_cast<std::int64_t>(done);
      std::int64_t end = at + static_cast<std::int64_t>(length - done);
      const std::int64_t physical = Physical(at);
      end = std::min(end, at + (kChunk - physical % kChunk));
      const std::int64_t edge = FKind == TFakeKind::Wraps ? (at / FReal + 1) * FReal
                                : at < FReal              ? FReal
                                                          : end;
      end = std::min(end, edge);
      if (!part(at, static_cast<std::size_t>(end - at), done)) return false;
      done += static_cast<std::size_t>(end - at);
    }
    return true;
  }
  std::vector<unsigned char>& Chunk(std::int64_t chunk) {
    auto [it, fresh] = FChunks.try_emplace(chunk);
    if (fresh) {
      it->second.resize(kChunk);
      for (std::int64_t i = 0; i < kChunk; ++i) it->second[i] = Original(chunk * kChunk + i);
    }
    return it->second;
  }

  std::int64_t FClaimed, FReal;
  TFakeKind FKind;
  std::uint32_t FBlock;
  std::unordered_map<std::int64_t, std::vector<unsigned char>> FChunks;
};

}  // namespace quorvane::testing
