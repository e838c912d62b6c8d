// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Free runs of clusters read from a volume's cluster bitmap, and the choice of the run
// that a file which must lie in one piece takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

struct TClusterRun {
  std::uint64_t Lcn = 0;
  std::uint64_t Clusters = 0;
  bool operator==(const TClusterRun&) const = default;
};

// Scans a cluster bitmap (bit set: cluster in use; least significant bit first) piece by
// piece. Runs shorter than `min_clusters` are not kept, but the largest run always is.
class TFreeRunScanner {
 public:
  TFreeRunScanner(std::uint64_t clusters, std::uint64_t min_clusters);
  // The bitmap's next bytes; bits beyond the volume's clusters are ignored.
  void Add(const std::uint8_t* bytes, std::size_t count);
  // The free runs in order of their place on the volume.
  std::vector<TClusterRun> Finish();

 private:
  void Close(std::uint64_t end);

  std::uint64_t FClusters, FMin, FBit = 0;
  bool FInRun = false;
  std::uint64_t FRunStart = 0;
  TClusterRun FLargest;
  std::vector<TClusterRun> FRuns;
};

// The run a file of `clusters` takes: the first clusters of the smallest free run that
// holds it, so that the larger runs stay whole for larger files. False when none does.
bool ChooseRun(const std::vector<TClusterRun>& runs, std::uint64_t clusters, TClusterRun& chosen);

// Takes the clusters of `taken` (lying inside one free run) out of the free runs.
void TakeClusters(std::vector<TClusterRun>& runs, const TClusterRun& taken);

// The largest free run, in clusters; 0 when there is none.
std::uint64_t LargestRun(const std::vector<TClusterRun>& runs);

// A size for messages in whole MiB ("5632 MiB"), rounded up or down: a need is never
// shown smaller, nor a room larger, than it is.
std::string SizeText(std::uint64_t bytes, bool round_up);

// The refusal of an image that must lie in one piece and finds no free run for it.
std::string NoContiguousRoomMessage(const std::string& image, std::uint64_t needs,
                                    std::uint64_t largest_run);

// One file of a burn that the drive's free runs must take, in the order of the burn.
struct TRunNeed {
  std::string Image;   // its name, for the message
  std::uint64_t Bytes = 0;
  bool MustBeWhole = false;  // mapped in place: without a run of its own it cannot boot
};

// Places the files in order on `runs` as the writer will (ChooseRun, then TakeClusters;
// a file that need not be whole and finds no run takes none). The refusal of the first
// file that must be whole and finds no run; empty when every one does.
std::string PlanRuns(std::vector<TClusterRun> runs, std::uint32_t cluster_size,
                     const std::vector<TRunNeed>& needs);

}  // namespace quorvane
