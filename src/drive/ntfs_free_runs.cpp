// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/ntfs_free_runs.h"

#include <algorithm>

namespace quorvane {

TFreeRunScanner::TFreeRunScanner(std::uint64_t clusters, std::uint64_t min_clusters)
    : FClusters(clusters), FMin(std::max<std::uint64_t>(min_clusters, 1)) {}

void TFreeRunScanner::Close(std::uint64_t end) {
  if (!FInRun) return;
  FInRun = false;
  const TClusterRun run{FRunStart, end - FRunStart};
  if (run.Clusters > FLargest.Clusters) FLargest = run;
  if (run.Clusters >= FMin) FRuns.push_back(run);
}

void TFreeRunScanner::Add(const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count && FBit < FClusters; ++i) {
    const std::uint8_t byte = bytes[i];
    // Whole bytes of one kind are the common case on a large volume.
    if (FBit + 8 <= FClusters && (byte == 0x00 || byte == 0xFF)) {
      if (byte == 0xFF) {
        Close(FBit);
      } else if (!FInRun) {
        FInRun = true;
        FRunStart = FBit;
      }
      FBit += 8;
      continue;
    }
    for (int b = 0; b < 8 && FBit < FClusters; ++b, ++FBit) {
      if (byte & (1u << b)) {
        Close(FBit);
      } else if (!FInRun) {
        FInRun = true;
        FRunStart = FBit;
      }
    }
  }
}

std::vector<TClusterRun> TFreeRunScanner::Finish() {
  Close(std::min(FBit, FClusters));
  std::vector<TClusterRun> runs = std::move(FRuns);
  if (FLargest.Clusters > 0 && FLargest.Clusters < FMin) {
    runs.push_back(FLargest);
    std::sort(runs.begin(), runs.end(),
              [](const TClusterRun& a, const TClusterRun& b) { return a.Lcn < b.Lcn; });
  }
  return runs;
}

bool ChooseRun(const std::vector<TClusterRun>& runs, std::uint64_t clusters, TClusterRun& chosen) {
  const TClusterRun* best = nullptr;
  for (const TClusterRun& r : runs)
    if (r.Clusters >= clusters && (!best || r.Clusters < best->Clusters)) best = &r;
  if (!best || clusters == 0) return false;
  chosen = {best->Lcn, clusters};
  return true;
}

void TakeClusters(std::vector<TClusterRun>& runs, const TClusterRun& taken) {
  for (auto it = runs.begin(); it != runs.end(); ++it) {
    if (taken.Lcn < it->Lcn || taken.Lcn + taken.Clusters > it->Lcn + it->Clusters) continue;
    const TClusterRun before{it->Lcn, taken.Lcn - it->Lcn};
    const TClusterRun after{taken.Lcn + taken.Clusters,
                            it->Lcn + it->Clusters - taken.Lcn - taken.Clusters};
    it = runs.erase(it);
    if (after.Clusters) it = runs.insert(it, after);
    if (before.Clusters) runs.insert(it, before);
    return;
  }
}

std::uint64_t LargestRun(const std::vector<TClusterRun>& runs) {
  std::uint64_t largest = 0;
  for (const TClusterRun& r : runs) largest = std::max(largest, r.Clusters);
  return largest;
}

std::string SizeText(std::uint64_t bytes, bool round_up) {
  const std::uint64_t mib = (bytes + (round_up ? (1u << 20) - 1 : 0)) >> 20;
  return std::to_string(mib) + " MiB";
}

std::string NoContiguousRoomMessage(const std::string& image, std::uint64_t needs,
                                    std::uint64_t largest_run) {
  return "Not enough contiguous free space on USB drive for " + image + " (needs " +
         SizeText(needs, true) + ", the largest free run is " + SizeText(largest_run, false) + ")";
}

std::string PlanRuns(std::vector<TClusterRun> runs, std::uint32_t cluster_size,
                     const std::vector<TRunNeed>& needs) {
  if (cluster_size == 0) return {};
  for (const TRunNeed& need : needs) {
    if (need.Bytes == 0) continue;
    const std::uint64_t clusters = (need.Bytes + cluster_size - 1) / cluster_size;
    TClusterRun run;
    if (ChooseRun(runs, clusters, run)) {
      TakeClusters(runs, run);
    } else if (need.MustBeWhole) {
      return NoContiguousRoomMessage(need.Image, need.Bytes, LargestRun(runs) * cluster_size);
    }
  }
  return {};
}

}  // namespace quorvane
