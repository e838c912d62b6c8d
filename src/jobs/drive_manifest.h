// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The drive's record of what each boot entry wrote ("Quorvane/manifest.json"): per entry
// its loader type, files, sizes and SHA-256 digests, so that the drive can be checked later.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// The manifest's place under the program's folder on a drive.
inline constexpr const char* kManifestFileName = "manifest.json";

struct TManifestFile {
  std::string File;  // path under the drive's root, "/" separated ("Quorvane/ID/x.iso")
  std::uint64_t Size = 0;
  std::string Sha256;  // lower-case hex
  bool operator==(const TManifestFile&) const = default;
};

struct TManifestEntry {
  std::string Entry;  // the entry's folder name under the program's folder (its ID)
  std::string Title;  // the menu title (the image's file name)
  std::int32_t Loader = 0;
  std::vector<TManifestFile> Files;
  std::string Time;  // UTC, "2026-12-11T04:20:00Z"
  bool operator==(const TManifestEntry&) const = default;
};

struct TDriveManifest {
  std::vector<TManifestEntry> Entries;
  bool operator==(const TDriveManifest&) const = default;
};

enum class TManifestRead {
  Ok,
  Missing,  // the drive has no manifest: an empty one is given
  Damaged,  // unreadable, not ours, or changed since it was written (its checksum)
};

// The manifest's path under a drive's root folder (ending in "/").
std::string ManifestPath(const std::string& drive_root);

// The text of a manifest, with the checksum over its entries; and its reading back.
std::string ManifestText(const TDriveManifest& manifest);
TManifestRead ParseManifest(const std::string& text, TDriveManifest& manifest, std::string& error);

// Reads the drive's manifest.
TManifestRead ReadDriveManifest(const std::string& drive_root, TDriveManifest& manifest,
                                std::string& error);

// Records `entry` in the drive's manifest (replacing one of the same Entry), or takes the
// entry of that folder name out of it; the file is replaced whole and flushed, and the
// updates of concurrent jobs in this process are taken one at a time. A damaged manifest
// is started afresh (its entries are kept where they can be read). False, with the
// system's text in `error`, when the file cannot be written.
bool AddManifestEntry(const std::string& drive_root, const TManifestEntry& entry,
                      std::string& error);
bool RemoveManifestEntry(const std::string& drive_root, const std::string& entry_folder,
                         std::string& error);

// The time now, in the manifest's form.
std::string ManifestTimeNow();

}  // namespace quorvane
