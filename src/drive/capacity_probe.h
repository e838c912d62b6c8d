// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The quick check of a drive's real capacity: a few hundred stamped blocks written across
// the whole claimed size and read back, which finds drives that claim more than they
// hold; the blocks' former contents are written back afterwards.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "drive/raw_block_device.h"

namespace quorvane {

struct TCapacityProbeOptions {
  std::uint32_t BlockBytes = 64 * 1024;  // one probe block; a multiple of the disk's block size
  int FirstRoundBlocks = 256;            // the first pass over the whole disk
  int RefineBlocks = 128;                // each further pass between the last good and first bad
  int MaxRounds = 5;
  std::uint64_t Seed = 0;  // 0: a fresh random nonce and order for every run
};

enum class TCapacityVerdict {
  Honest,  // every block read back as written
  Fake,    // blocks aliased or read back wrong past GoodBytes
  Cancelled,
  Failed,  // the disk could not be read or written at all
};

struct TCapacityProbeResult {
  TCapacityVerdict Verdict = TCapacityVerdict::Failed;
  std::int64_t ClaimedBytes = 0;
  // The end of the highest block that still read back right below the first one that did
  // not (ClaimedBytes on an honest drive).
  std::int64_t GoodBytes = 0;
  std::int64_t FirstBadOffset = -1;
  // What the first bad block showed: "aliases the block at byte N", "reads back zeros",
  // "reads back other data", "refuses reads: ...".
  std::string FirstBadDetail;
  int BlocksChecked = 0;  // over all passes
  int Rounds = 0;
  std::string Error;         // Failed: why
  std::string RestoreError;  // former contents of good blocks that could not be written back
};

// Called with the share done, 0..100, between transfers.
using TCapacityProgress = std::function<void(int percent)>;

// Runs the check on `device`. `cancel`, when it turns true, ends the check at the next
// transfer (the former contents are still written back).
TCapacityProbeResult ProbeCapacity(IRawBlockDevice& device, const TCapacityProbeOptions& options,
                                   const std::atomic<bool>* cancel,
                                   const TCapacityProgress& progress);

// A byte count in GiB with one decimal: "3.8".
std::string GiBText(std::int64_t bytes);

// "This drive holds only about X GiB of the Y GiB it claims".
std::string CapacityShortfallMessage(std::int64_t good_bytes, std::int64_t claimed_bytes);

}  // namespace quorvane
