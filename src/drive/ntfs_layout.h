// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The layout of a new NTFS volume: made small and then grown over its partition, so that
// the file system's own files sit in its first tens of MiB and the rest is one free run
// that a large image can take whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/tool_runner.h"

namespace quorvane {

// Sectors of the volume as first made: 64 MiB.
inline constexpr std::uint64_t kNtfsSeedSectors = 131072;

// The tool runs that make the volume on `node`, a partition that starts at
// `start_sector` and holds `bytes`: mkfs.ntfs over the first 64 MiB (all of it when the
// partition is not larger), then ntfsresize to the partition's size and ntfsfix to clear
// the check mark ntfsresize leaves.
std::vector<TToolCommand> NtfsLayoutCommands(const std::string& node, std::uint64_t start_sector,
                                             std::uint64_t bytes);

// The first of them: the seed volume. ntfs-3g spreads the clusters of new files 16 MiB
// apart from the end of its MFT zone on; the few files of the drive step (loader, NTBOOT)
// written while the volume is still the seed stay inside its first 64 MiB.
bool MakeNtfsVolume(IToolRunner& runner, const std::string& node, std::uint64_t start_sector,
                    std::uint64_t bytes, std::string& error);
// The others: the seed grown over the partition, whose new part is one free run.
bool GrowNtfsVolume(IToolRunner& runner, const std::string& node, std::uint64_t bytes,
                    std::string& error);

// The tools it runs.
const std::vector<std::string>& NtfsLayoutTools();

// A lower bound of the largest free run, in bytes, of a volume made this way on a
// partition of `bytes`; 0 when it has none worth naming.
std::uint64_t NewNtfsLargestFreeRun(std::uint64_t bytes);

}  // namespace quorvane
