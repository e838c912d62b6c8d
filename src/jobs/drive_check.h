// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The later check of a drive against its manifest: every file the manifest names read
// back past the cache and hashed, and each entry found intact, changed or missing.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/drive_manifest.h"

namespace quorvane {

enum class TEntryCheckState {
  Intact,
  Changed,      // a file differs from what was written, or its path was refused
  Missing,      // a file, the entry's folder or the program's folder is gone
  NotRecorded,  // an entry folder on the drive that the manifest does not name
};

// "intact", "changed", "missing", "not recorded".
const char* EntryCheckStateName(TEntryCheckState state);

// "ok", "missing", "damaged": the manifest's state as the front ends name it.
const char* ManifestStateName(TManifestRead state);

struct TEntryCheck {
  std::string Entry;  // the entry's folder name
  std::string Title;  // the menu title; the folder name of a not-recorded entry
  TEntryCheckState State = TEntryCheckState::Intact;
  std::string Detail;  // which files differ or are gone, and how; empty when intact
};

inline constexpr const char* kNoManifestText =
    "This drive has no manifest: it was not written by this program, or before manifests "
    "were kept";

struct TDriveCheckResult {
  TManifestRead Manifest = TManifestRead::Missing;
  std::string ManifestError;         // why a damaged manifest is damaged
  std::vector<TEntryCheck> Entries;  // in the manifest's order, then the not recorded ones
  bool Cancelled = false;
  // Every entry the manifest names is intact, and the manifest itself is sound.
  bool AllIntact() const;
  // The line on the manifest for a front end: empty for a sound one.
  std::string ManifestText() const;
  // "All 3 entries are intact.", "1 of 3 entries intact: 1 changed, 1 missing.", ...
  std::string Summary() const;
};

// The result as lines of text: one per entry ("title: state: detail"), then the summary;
// control characters of the drive's names are shown as "?".
std::string DriveCheckText(const TDriveCheckResult& result);

// Bytes read so far and to read in all (the sizes the manifest records), for a bar.
struct TDriveCheckProgress {
  std::atomic<std::uint64_t> Done{0};
  std::atomic<std::uint64_t> Total{0};
};

// Checks the drive whose root folder (ending in "/") is `root`. `progress` and `cancel`
// may be null; a cancelled check says so and its entries are those checked until then.
TDriveCheckResult CheckDrive(const std::string& root, TDriveCheckProgress* progress = nullptr,
                             const std::atomic<bool>* cancel = nullptr);

}  // namespace quorvane
