// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/drive_manifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>

#include "common/constants.h"
#include "common/file_writes.h"
#include "common/sha256.h"
#include "common/text.h"
#include "drive/drive_letters.h"

namespace quorvane {
namespace {

using nlohmann::json;

constexpr int kManifestFormat = 1;
// A manifest is a few hundred bytes per entry: anything this large is not ours.
constexpr std::uint64_t kLargestManifest = 16 << 20;

std::mutex& ManifestLock() {
  static std::mutex lock;
  return lock;
}

json EntriesJson(const TDriveManifest& manifest) {
  json entries = json::array();
  for (const TManifestEntry& entry : manifest.Entries) {
    json files = json::array();
    for (const TManifestFile& file : entry.Files)
      files.push_back({{"file", file.File}, {"size", file.Size}, {"sha256", file.Sha256}});
    entries.push_back({{"entry", entry.Entry},
                       {"title", entry.Title},
                       {"loader", entry.Loader},
                       {"files", files},
                       {"time", entry.Time}});
  }
  return entries;
}

bool Write(const std::string& drive_root, const TDriveManifest& manifest, std::string& error) {
  const std::string folder = ProgramFolderOnDrive(drive_root, error);
  if (folder.empty()) return false;
  const std::string path = folder + kManifestFileName;
  const std::string fresh = path + ".new";
  if (!WriteFileFlushed(fresh, ManifestText(manifest), error)) return false;
  if (::rename(fresh.c_str(), path.c_str()) != 0) {
    error = SystemErrorText(errno);
    ::unlink(fresh.c_str());
    return false;
  }
  return true;
}

// The manifest to update: the drive's, or a fresh one in place of a missing or damaged one
// (keeping what could be read of it).
TManifestRead Current(const std::string& drive_root, TDriveManifest& manifest) {
  std::string ignored;
  return ReadDriveManifest(drive_root, manifest, ignored);
}

}  // namespace

std::string ManifestPath(const std::string& drive_root) {
  return drive_root + kProgramFolderName + "/" + kManifestFileName;
}

std::string ManifestText(const TDriveManifest& manifest) {
  const json entries = EntriesJson(manifest);
  const json whole = {{"format", kManifestFormat},
                      {"entries", entries},
                      {"checksum", Sha256Hex(entries.dump())}};
  return whole.dump(2) + "\n";
}

TManifestRead ParseManifest(const std::string& text, TDriveManifest& manifest, std::string& error) {
  manifest = {};
  const json whole = json::parse(text, nullptr, false);
  if (whole.is_discarded() || !whole.is_object()) {
    error = "the manifest is not JSON";
    return TManifestRead::Damaged;
  }
  const auto format = whole.find("format");
  const auto entries = whole.find("entries");
  const auto checksum = whole.find("checksum");
  if (format == whole.end() || *format != kManifestFormat || entries == whole.end() ||
      !entries->is_array()) {
    error = "the manifest is not in a format this version knows";
    return TManifestRead::Damaged;
  }
  bool whole_entries = true;
  for (const json& item : *entries) {
    try {
      TManifestEntry entry;
      entry.Entry = item.at("entry").get<std::string>();
      entry.Title = item.at("title").get<std::string>();
      entry.Loader = item.at("loader").get<std::int32_t>();
      entry.Time = item.at("time").get<std::string>();
      for (const json& file : item.at("files")) {
        entry.Files.push_back({file.at("file").get<std::string>(),
                               file.at("size").get<std::uint64_t>(),
                               file.at("sha256").get<std::string>()});
      }
      manifest.Entries.push_back(std::move(entry));
    } catch (const json::exception&) {
      whole_entries = false;
    }
  }
  if (!whole_entries) {
    error = "the manifest has entries that cannot be read";
    return TManifestRead::Damaged;
  }
  if (checksum == whole.end() || !checksum->is_string() ||
      *checksum != Sha256Hex(entries->dump())) {
    error = "the manifest was changed since it was written (its checksum does not match)";
    return TManifestRead::Damaged;
  }
  return TManifestRead::Ok;
}

TManifestRead ReadDriveManifest(const std::string& drive_root, TDriveManifest& manifest,
                                std::string& error) {
  manifest = {};
  std::string text;
  if (const int code = ReadSmallFile(ManifestPath(drive_root), kLargestManifest, true, text);
      code != 0) {
    if (code == ENOENT) return TManifestRead::Missing;
    error = code == EFBIG ? "the manifest is too large to be ours"
                          : "the manifest cannot be read: " + SystemErrorText(code);
    return TManifestRead::Damaged;
  }
  return ParseManifest(text, manifest, error);
}

bool AddManifestEntry(const std::string& drive_root, const TManifestEntry& entry,
                      std::string& error) {
  std::lock_guard<std::mutex> guard(ManifestLock());
  TDriveManifest manifest;
  Current(drive_root, manifest);
  std::erase_if(manifest.Entries, [&](const TManifestEntry& e) { return e.Entry == entry.Entry; });
  manifest.Entries.push_back(entry);
  return Write(drive_root, manifest, error);
}

bool RemoveManifestEntry(const std::string& drive_root, const std::string& entry_folder,
                         std::string& error) {
  std::lock_guard<std::mutex> guard(ManifestLock());
  TDriveManifest manifest;
  const TManifestRead state = Current(drive_root, manifest);
  const std::size_t before = manifest.Entries.size();
  std::erase_if(manifest.Entries, [&](const TManifestEntry& e) { return e.Entry == entry_folder; });
  // Nothing to take out of a sound (or missing) manifest: it stays as it is.
  if (manifest.Entries.size() == before && state != TManifestRead::Damaged) return true;
  return Write(drive_root, manifest, error);
}

std::string ManifestTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc {};
  ::gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace quorvane
