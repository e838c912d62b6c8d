// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// An NTFS volume read and changed through libntfs-3g, on the device node of its
// partition: its free runs of clusters, and a file placed in one run whose data is then
// written straight to the device.
#pragma once

#include <cstdint>
#include <string>

#include "drive/ntfs_free_runs.h"

namespace quorvane {

struct TNtfsFreeSpace {
  std::uint32_t ClusterSize = 0;
  std::uint64_t Clusters = 0;
  std::vector<TClusterRun> FreeRuns;  // runs of less than 1 MiB left out, but the largest
  std::uint64_t LargestRunBytes() const { return LargestRun(FreeRuns) * ClusterSize; }
};

// Reads the free runs of the volume on `device`, read only: it may be mounted.
bool ReadNtfsFreeSpace(const std::string& device, TNtfsFreeSpace& space, std::string& error);

// A file that lies in one run of clusters.
struct TNtfsPlacedFile {
  std::string Path;             // from the volume's root, "/"-separated
  std::uint64_t Size = 0;       // its data size in bytes
  std::uint32_t ClusterSize = 0;
  TClusterRun Run;
  std::uint64_t Offset() const { return Run.Lcn * ClusterSize; }  // on the partition
  std::uint64_t Allocated() const { return Run.Clusters * ClusterSize; }
};

enum class TNtfsPlacement { Placed, NoRun, Failed };

// Creates `path` (its folder exists, the file does not) on the volume on `device`, which
// nobody has mounted, with `size` bytes in one run of clusters chosen by ChooseRun: data
// size `size`, initialized size 0, so that it reads as zeros whatever the clusters held
// until FinishNtfsFile. The run is read back from the volume before this returns Placed.
// NoRun, with nothing changed and the largest free run in `largest`, when no run holds it.
TNtfsPlacement PlaceNtfsFile(const std::string& device, const std::string& path,
                             std::uint64_t size, TNtfsPlacedFile& placed, std::uint64_t& largest,
                             std::string& error);

// Once the file's data is on the device: checks that it still lies in its run and makes
// every byte of it count (initialized size = data size).
bool FinishNtfsFile(const std::string& device, const TNtfsPlacedFile& placed, std::string& error);

}  // namespace quorvane
