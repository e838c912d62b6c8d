// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
//
// How the check works. A pass picks a set of block offsets, reads and keeps what the
// blocks hold, writes every block in a random order, flushes, reads every block back in
// another random order, and writes the kept contents back. Each unit of a block (one
// logical block of the disk) is stamped with a magic, the run's nonce, the pass, its own
// disk offset and a checksum over a pattern derived from them, so a unit read back tells
// whether it is the one written there, another block's (the two share storage), or
// neither (zeros, old data, garbage: that block is bad). Of blocks that share storage only
// the lowest can be storage the drive really has.
//
// Drives that claim more than they hold either lose what is written past their real
// size (any pass sees that) or wrap addresses around a power-of-two module. The first
// pass therefore puts its blocks on a power-of-two lattice over the whole disk, plus the
// last block: every block past such a module then shares its storage with a lower block
// of the lattice. Later passes narrow the range between the last good and the first bad
// block, first with finer lattices from the start of the disk (which also catch a module
// smaller than the first lattice's step), then with blocks spread over the range itself.
#include "drive/capacity_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace quorvane {

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'C', 'A', 'P', 'C', 'K', '1'};
constexpr std::size_t kHeaderBytes = 32;  // magic, nonce, pass, block index, unit offset
constexpr std::size_t kChecksumBytes = 8;

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t Checksum(const std::byte* data, std::size_t length) {
  std::uint64_t h = 0xCBF29CE484222325ULL;
  for (std::size_t i = 0; i + 8 <= length; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = (h ^ w) * 0x100000001B3ULL;
    h ^= h >> 29;
  }
  return h;
}

struct TFreeDeleter {
  void operator()(std::byte* p) const { std::free(p); }
};
using TAlignedBytes = std::unique_ptr<std::byte[], TFreeDeleter>;

TAlignedBytes AlignedBytes(std::size_t length) {
  const std::size_t rounded =
      (length + kRawBufferAlignment - 1) / kRawBufferAlignment * kRawBufferAlignment;
  return TAlignedBytes(static_cast<std::byte*>(std::aligned_alloc(kRawBufferAlignment, rounded)));
}

std::int64_t Pow2AtLeast(std::int64_t value) {
  std::int64_t p = 1;
  while (p < value) p <<= 1;
  return p;
}

// What a unit read back holds.
enum class TUnitKind { Own, Other, Zeros, Foreign };

struct TUnitReading {
  TUnitKind Kind = TUnitKind::Foreign;
  std::int64_t StampedOffset = -1;  // Other: the disk offset the unit was written for
};

class TProbe {
 public:
  TProbe(IRawBlockDevice& device, const TCapacityProbeOptions& options,
         const std::atomic<bool>* cancel, const TCapacityProgress& progress)
      : FDevice(device), FOptions(options), FCancel(cancel), FProgress(progress) {}

  TCapacityProbeResult Run();

 private:
  struct TBlock {
    std::int64_t Offset = 0;
    bool Kept = false;     // its former contents were read
    bool Written = false;  // our stamp went out to it
    bool Bad = false;
    std::string Detail;
  };

  enum class TPassEnd { Done, Cancelled, Failed };

  TPassEnd Pass(std::vector<std::int64_t> offsets);
  void Stamp(std::byte* block, std::int64_t offset, std::uint32_t index) const;
  TUnitReading ReadUnit(const std::byte* unit, std::int64_t expected) const;
  void Judge(std::vector<TBlock>& blocks, std::size_t i, const std::byte* data);
  void JudgeSharing(std::vector<TBlock>& blocks);
  void MarkBad(TBlock& block, std::string detail);
  void Restore(std::vector<TBlock>& blocks, const std::byte* kept);
  bool Cancelled() const { return FCancel && FCancel->load(); }
  void Step();
  void Record(const std::vector<TBlock>& blocks);
  std::vector<std::int64_t> Lattice(std::int64_t stride, std::int64_t upto) const;
  std::vector<std::int64_t> Spread(std::int64_t from, std::int64_t to, int count) const;

  IRawBlockDevice& FDevice;
  TCapacityProbeOptions FOptions;
  const std::atomic<bool>* FCancel;
  const TCapacityProgress& FProgress;

  std::int64_t FDiskBytes = 0;  // the claimed size, in whole units
  std::int64_t FBlockBytes = 0;
  std::size_t FUnit = 512;
  std::uint64_t FNonce = 0;
  std::uint32_t FRound = 0;
  std::mt19937_64 FOrder;
  TAlignedBytes FBuffer;

  // What all passes found: the lowest bad block and the good ones.
  std::int64_t FFirstBad = -1;
  std::string FFirstBadDetail;
  std::vector<std::int64_t> FGood;
  std::vector<std::pair<std::size_t, std::size_t>> FShared;  // this pass: blocks sharing storage
  int FChecked = 0;
  std::string FError;
  std::string FRestoreError;

  // Progress: this pass spans [FSpanFrom, FSpanTo) of the bar over FSteps transfers.
  double FSpanFrom = 0, FSpanTo = 90;
  int FSteps = 1, FStepsDone = 0, FShown = -1;
};

void TProbe::Step() {
  ++FStepsDone;
  if (!FProgress) return;
  const int percent =
      static_cast<int>(FSpanFrom + (FSpanTo - FSpanFrom) * FStepsDone / std::max(FSteps, 1));
  if (percent == FShown) return;
  FShown = percent;
  FProgress(percent);
}

void TProbe::Stamp(std::byte* block, std::int64_t offset, std::uint32_t index) const {
  for (std::size_t at = 0; at < static_cast<std::size_t>(FBlockBytes); at += FUnit) {
    std::byte* unit = block + at;
    const std::uint64_t unit_offset = static_cast<std::uint64_t>(offset) + at;
    std::memcpy(unit, kMagic, 8);
    std::memcpy(unit + 8, &FNonce, 8);
    std::memcpy(unit + 16, &FRound, 4);
    std::memcpy(unit + 20, &index, 4);
    std::memcpy(unit + 24, &unit_offset, 8);
    std::uint64_t state = FNonce ^ (unit_offset * 0xD6E8FEB86659FD93ULL) ^ FRound;
    for (std::size_t i = kHeaderBytes; i + 8 <= FUnit - kChecksumBytes; i += 8) {
      const std::uint64_t w = SplitMix(state);
      std::memcpy(unit + i, &w, 8);
    }
    const std::uint64_t sum = Checksum(unit, FUnit - kChecksumBytes);
    std::memcpy(unit + FUnit - kChecksumBytes, &sum, 8);
  }
}

TUnitReading TProbe::ReadUnit(const std::byte* unit, std::int64_t expected) const {
  TUnitReading reading;
  std::uint64_t nonce = 0, unit_offset = 0, sum = 0;
  std::uint32_t round = 0;
  std::memcpy(&nonce, unit + 8, 8);
  std::memcpy(&round, unit + 16, 4);
  std::memcpy(&unit_offset, unit + 24, 8);
  std::memcpy(&sum, unit + FUnit - kChecksumBytes, 8);
  if (std::memcmp(unit, kMagic, 8) == 0 && nonce == FNonce && round == FRound &&
      sum == Checksum(unit, FUnit - kChecksumBytes)) {
    reading.StampedOffset = static_cast<std::int64_t>(unit_offset);
    reading.Kind = reading.StampedOffset == expected ? TUnitKind::Own : TUnitKind::Other;
    return reading;
  }
  const bool zeros = std::all_of(unit, unit + FUnit, [](std::byte b) { return b == std::byte{0}; });
  reading.Kind = zeros ? TUnitKind::Zeros : TUnitKind::Foreign;
  return reading;
}

void TProbe::MarkBad(TBlock& block, std::string detail) {
  if (block.Bad) return;
  block.Bad = true;
  block.Detail = std::move(detail);
}

void TProbe::Judge(std::vector<TBlock>& blocks, std::size_t i, const std::byte* data) {
  TBlock& block = blocks[i];
  for (std::size_t at = 0; at < static_cast<std::size_t>(FBlockBytes); at += FUnit) {
    const TUnitReading r = ReadUnit(data + at, block.Offset + static_cast<std::int64_t>(at));
    if (r.Kind == TUnitKind::Own) continue;
    if (r.Kind == TUnitKind::Zeros) {
      MarkBad(block, "reads back zeros");
      continue;
    }
    if (r.Kind == TUnitKind::Foreign) {
      MarkBad(block, "reads back other data than was written");
      continue;
    }
    // The two blocks share storage.
    const auto it = std::upper_bound(blocks.begin(), blocks.end(), r.StampedOffset,
                                     [](std::int64_t o, const TBlock& b) { return o < b.Offset; });
    if (it == blocks.begin() || r.StampedOffset >= std::prev(it)->Offset + FBlockBytes) {
      MarkBad(block, "reads back other data than was written");
      continue;
    }
    const std::size_t other = static_cast<std::size_t>(std::prev(it) - blocks.begin());
    if (other == i)
      MarkBad(block, "shares its storage with byte " +
                         std::to_string(std::min(r.StampedOffset,
                                                 block.Offset + static_cast<std::int64_t>(at))));
    else
      FShared.emplace_back(i, other);
  }
}

void TProbe::JudgeSharing(std::vector<TBlock>& blocks) {
  // Blocks that share storage form groups; of each group the drive really has at most the
  // lowest block, the others are past what it holds.
  std::vector<std::size_t> parent(blocks.size());
  std::iota(parent.begin(), parent.end(), 0);
  const auto root = [&](std::size_t x) {
    while (parent[x] != x) x = parent[x] = parent[parent[x]];
    return x;
  };
  for (const auto& [a, b] : FShared) {
    const std::size_t ra = root(a), rb = root(b);
    // Blocks are sorted by offset: the smaller index is the lower block.
    if (ra != rb) parent[std::max(ra, rb)] = std::min(ra, rb);
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const std::size_t lowest = root(i);
    if (lowest != i)
      MarkBad(blocks[i], "shares its storage with byte " + std::to_string(blocks[lowest].Offset));
  }
  FShared.clear();
}

void TProbe::Restore(std::vector<TBlock>& blocks, const std::byte* kept) {
  bool wrote = false;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    TBlock& b = blocks[i];
    if (!b.Written || !b.Kept) continue;
    std::string error;
    const TRawIo io = FDevice.WriteAt(b.Offset, kept + i * FBlockBytes,
                                      static_cast<std::size_t>(FBlockBytes), error);
    Step();
    wrote = true;
    // Storage the drive does not have held nothing of the user's.
    if (io != TRawIo::Ok && !b.Bad && FRestoreError.empty()) FRestoreError = error;
  }
  std::string error;
  if (wrote && !FDevice.Flush(error) && FRestoreError.empty()) FRestoreError = error;
}

void TProbe::Record(const std::vector<TBlock>& blocks) {
  for (const TBlock& b : blocks) {
    if (b.Bad) {
      if (FFirstBad < 0 || b.Offset < FFirstBad) {
        FFirstBad = b.Offset;
        FFirstBadDetail = b.Detail;
      }
    } else {
      FGood.push_back(b.Offset);
    }
  }
}

TProbe::TPassEnd TProbe::Pass(std::vector<std::int64_t> offsets) {
  ++FRound;
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  std::vector<TBlock> blocks(offsets.size());
  for (std::size_t i = 0; i < offsets.size(); ++i) blocks[i].Offset = offsets[i];
  const std::size_t length = static_cast<std::size_t>(FBlockBytes);
  TAlignedBytes kept = AlignedBytes(blocks.size() * length);
  if (!kept) {
    FError = "not enough memory for the capacity check";
    return TPassEnd::Failed;
  }
  FSteps = static_cast<int>(blocks.size()) * 4;
  FStepsDone = 0;
  FChecked += static_cast<int>(blocks.size());

  const auto abandon = [&](TPassEnd end) {
    FShared.clear();
    Restore(blocks, kept.get());
    return end;
  };

  // What the blocks hold now, to be written back at the end.
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (Cancelled()) return TPassEnd::Cancelled;
    std::string error;
    const TRawIo io = FDevice.ReadAt(blocks[i].Offset, kept.get() + i * length, length, error);
    Step();
    if (io == TRawIo::Failed) {
      FError = error;
      return abandon(TPassEnd::Failed);
    }
    if (io == TRawIo::BadBlock) MarkBad(blocks[i], "refuses reads (" + error + ")");
    blocks[i].Kept = io == TRawIo::Ok;
  }

  std::vector<std::size_t> order(blocks.size());
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), FOrder);
  for (const std::size_t i : order) {
    if (Cancelled()) return abandon(TPassEnd::Cancelled);
    TBlock& b = blocks[i];
    Step();
    if (!b.Kept) continue;  // never overwrite what could not be kept
    Stamp(FBuffer.get(), b.Offset, static_cast<std::uint32_t>(i));
    std::string error;
    b.Written = true;
    const TRawIo io = FDevice.WriteAt(b.Offset, FBuffer.get(), length, error);
    if (io == TRawIo::Failed) {
      FError = error;
      return abandon(TPassEnd::Failed);
    }
    if (io == TRawIo::BadBlock) MarkBad(b, "refuses writes (" + error + ")");
  }
  if (std::string error; !FDevice.Flush(error)) {
    FError = error;
    return abandon(TPassEnd::Failed);
  }

  std::shuffle(order.begin(), order.end(), FOrder);
  for (const std::size_t i : order) {
    if (Cancelled()) return abandon(TPassEnd::Cancelled);
    TBlock& b = blocks[i];
    Step();
    if (!b.Written) continue;
    std::string error;
    const TRawIo io = FDevice.ReadAt(b.Offset, FBuffer.get(), length, error);
    if (io == TRawIo::Failed) {
      FError = error;
      return abandon(TPassEnd::Failed);
    }
    if (io == TRawIo::BadBlock) {
      MarkBad(b, "refuses reads (" + error + ")");
      continue;
    }
    Judge(blocks, i, FBuffer.get());
  }
  JudgeSharing(blocks);
  Restore(blocks, kept.get());
  Record(blocks);
  return TPassEnd::Done;
}

std::vector<std::int64_t> TProbe::Lattice(std::int64_t stride, std::int64_t upto) const {
  std::vector<std::int64_t> offsets;
  for (std::int64_t o = 0; o <= upto && o + FBlockBytes <= FDiskBytes; o += stride)
    offsets.push_back(o);
  return offsets;
}

std::vector<std::int64_t> TProbe::Spread(std::int64_t from, std::int64_t to, int count) const {
  // `count` blocks at most, none overlapping another, all inside [from, to).
  std::vector<std::int64_t> offsets;
  const std::int64_t span = to - from - FBlockBytes;
  if (span < 0) return offsets;
  const std::int64_t unit = static_cast<std::int64_t>(FUnit);
  const std::int64_t fit = span / (FBlockBytes + unit) + 1;
  const std::int64_t n = std::min<std::int64_t>(count, fit);
  for (std::int64_t j = 0; j < n; ++j) {
    const std::int64_t at = n == 1 ? span / 2 : span * j / (n - 1);
    offsets.push_back(from + at / unit * unit);
  }
  return offsets;
}

TCapacityProbeResult TProbe::Run() {
  TCapacityProbeResult result;
  result.ClaimedBytes = FDevice.Size();
  FUnit = std::max<std::size_t>(FDevice.BlockSize(), 64);
  if (FUnit % 8 != 0 || kRawBufferAlignment % FUnit != 0) {
    result.Error = "the disk's block size of " + std::to_string(FUnit) + " bytes is not supported";
    return result;
  }
  FDiskBytes =
      result.ClaimedBytes / static_cast<std::int64_t>(FUnit) * static_cast<std::int64_t>(FUnit);
  const std::int64_t align = static_cast<std::int64_t>(kRawBufferAlignment);
  FBlockBytes = (std::max<std::int64_t>(FOptions.BlockBytes, align) + align - 1) / align * align;
  if (FDiskBytes < FBlockBytes) {
    result.Error =
        "the drive is too small to check (" + std::to_string(result.ClaimedBytes) + " bytes)";
    return result;
  }
  FBuffer = AlignedBytes(static_cast<std::size_t>(FBlockBytes));
  if (!FBuffer) {
    result.Error = "not enough memory for the capacity check";
    return result;
  }
  if (FOptions.Seed) {
    std::uint64_t s = FOptions.Seed;
    FNonce = SplitMix(s);
    FOrder.seed(SplitMix(s));
  } else {
    std::random_device device;
    FNonce = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    FOrder.seed((static_cast<std::uint64_t>(device()) << 32) ^ device());
  }

  // The first pass: a power-of-two lattice over the whole disk and the last block.
  std::int64_t stride =
      Pow2AtLeast(std::max<std::int64_t>(FBlockBytes, (FDiskBytes + FOptions.FirstRoundBlocks - 1) /
                                                          std::max(FOptions.FirstRoundBlocks, 1)));
  std::vector<std::int64_t> offsets = Lattice(stride, FDiskBytes);
  const std::int64_t last = FDiskBytes - FBlockBytes;
  std::erase_if(offsets, [&](std::int64_t o) { return o != last && o + FBlockBytes > last; });
  offsets.push_back(last);

  const auto finish = [&](TCapacityVerdict verdict) {
    result.Verdict = verdict;
    result.Error = FError;
    result.RestoreError = FRestoreError;
    result.BlocksChecked = FChecked;
    result.Rounds = static_cast<int>(FRound);
    result.FirstBadOffset = FFirstBad;
    result.FirstBadDetail = FFirstBadDetail;
    if (FFirstBad < 0) {
      result.GoodBytes = result.ClaimedBytes;
    } else {
      std::int64_t good_end = 0;
      for (const std::int64_t g : FGood)
        if (g < FFirstBad) good_end = std::max(good_end, g + FBlockBytes);
      result.GoodBytes = std::min(good_end, FFirstBad);
    }
    if (FProgress && verdict != TCapacityVerdict::Failed && verdict != TCapacityVerdict::Cancelled)
      FProgress(100);
    return result;
  };

  for (int round = 0; round < std::max(FOptions.MaxRounds, 1); ++round) {
    if (round > 0) {
      FSpanFrom = FSpanTo;
      FSpanTo = FSpanFrom + (100 - FSpanFrom) / 2;
    }
    const TPassEnd end = Pass(offsets);
    if (end == TPassEnd::Cancelled) return finish(TCapacityVerdict::Cancelled);
    if (end == TPassEnd::Failed) return finish(TCapacityVerdict::Failed);
    if (FFirstBad < 0) break;  // nothing wrong anywhere

    // Narrow the range between the last good and the first bad block.
    std::int64_t good_end = 0;
    for (const std::int64_t g : FGood)
      if (g < FFirstBad) good_end = std::max(good_end, g + FBlockBytes);
    const std::int64_t gap = FFirstBad - good_end;
    const std::int64_t enough = std::max<std::int64_t>(
        2 * FBlockBytes, std::min<std::int64_t>(FDiskBytes / 512, 16LL << 20));
    if (gap <= enough) break;
    const std::int64_t finer = Pow2AtLeast(
        std::max<std::int64_t>(FBlockBytes, (FFirstBad + FBlockBytes + FOptions.RefineBlocks - 1) /
                                                std::max(FOptions.RefineBlocks, 1)));
    if (finer < stride && finer < gap) {
      stride = finer;
      offsets = Lattice(stride, FFirstBad);
    } else {
      offsets = Spread(good_end, FFirstBad, FOptions.RefineBlocks);
    }
    if (offsets.empty()) break;
  }
  return finish(FFirstBad < 0 ? TCapacityVerdict::Honest : TCapacityVerdict::Fake);
}

}  // namespace

TCapacityProbeResult ProbeCapacity(IRawBlockDevice& device, const TCapacityProbeOptions& options,
                                   const std::atomic<bool>* cancel,
                                   const TCapacityProgress& progress) {
  TProbe probe(device, options, cancel, progress);
  return probe.Run();
}

std::string GiBText(std::int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1LL << 30));
  return text;
}

std::string CapacityShortfallMessage(std::int64_t good_bytes, std::int64_t claimed_bytes) {
  return "This drive holds only about " + GiBText(good_bytes) + " GiB of the " +
         GiBText(claimed_bytes) + " GiB it claims";
}

}  // namespace quorvane
