// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/drive_check.h"

#include <algorithm>
#include <limits>
#include <set>

#include "archive/read_back.h"
#include "common/constants.h"
#include "common/sha256.h"
#include "jobs/drive_files.h"
#include "jobs/orphan_job_folders.h"

namespace quorvane {

namespace {

std::uint64_t SaturatingSum(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

// Titles and paths come from the drive: no control character of theirs reaches a
// terminal (C0, DEL, and C1 in its UTF-8 form, which some terminals obey).
std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      out += '?';
      i += c1 ? 1 : 0;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

struct TFileOutcome {
  TEntryCheckState State = TEntryCheckState::Intact;
  std::string Detail;
  bool Cancelled = false;
};

std::string FolderGone(const std::vector<std::string>& parts, std::size_t missing) {
  std::string folder;
  for (std::size_t i = 0; i <= missing; ++i) folder += (i ? "/" : "") + parts[i];
  return "the folder " + folder + " is gone";
}

TFileOutcome CheckFile(const std::string& root, const TManifestFile& recorded,
                       TDriveCheckProgress* progress, const std::atomic<bool>* cancel) {
  TFileOutcome outcome;
  const auto advance = [&](std::uint64_t bytes) {
    if (progress) progress->Done.store(SaturatingSum(progress->Done.load(), bytes));
  };
  std::vector<std::string> parts;
  std::string why;
  if (!RecordedPathParts(recorded.File, parts, why)) {
    advance(recorded.Size);
    return {TEntryCheckState::Changed, "refused: " + why};
  }
  const TDriveFile file(root, parts);
  switch (file.State()) {
    case TDriveFile::Regular:
      break;
    case TDriveFile::Missing:
      advance(recorded.Size);
      return {TEntryCheckState::Missing, file.MissingPart() + 1 < parts.size()
                                             ? FolderGone(parts, file.MissingPart())
                                             : recorded.File + " is gone"};
    case TDriveFile::Refused:
      advance(recorded.Size);
      return {TEntryCheckState::Changed, "refused: " + file.Why()};
    case TDriveFile::Failed:
      advance(recorded.Size);
      return {TEntryCheckState::Changed, file.Why()};
  }
  if (file.Size() != recorded.Size) {
    advance(recorded.Size);
    return {TEntryCheckState::Changed, recorded.File + " is " + std::to_string(file.Size()) +
                                           " bytes on the drive, " + std::to_string(recorded.Size) +
                                           " when it was written"};
  }
  TSha256 hash;
  std::uint64_t read = 0;
  const TReadBackOutcome back = ReadBackFile(
      file.ReadPath(),
      [&](const char* bytes, std::size_t length, std::uint64_t) {
        hash.Update(bytes, length);
        read += length;
        advance(length);
        return true;
      },
      cancel);
  if (back.State == TReadBackOutcome::Cancelled) {
    outcome.Cancelled = true;
    return outcome;
  }
  // What the reading did not cover still counts as done for the bar.
  if (read < recorded.Size) advance(recorded.Size - read);
  if (back.State == TReadBackOutcome::Missing)
    return {TEntryCheckState::Missing, recorded.File + " is gone"};
  if (back.State == TReadBackOutcome::Failed)
    return {TEntryCheckState::Changed, recorded.File + " cannot be read: " + back.Error};
  if (read != recorded.Size)
    return {TEntryCheckState::Changed, recorded.File + " changed size while it was read"};
  if (hash.Hex() != recorded.Sha256)
    return {TEntryCheckState::Changed,
            recorded.File + " differs from what was written (its SHA-256 does not match)"};
  return outcome;
}

// Entry folders in the program's folder that the manifest does not name.
void AddNotRecorded(const std::string& root, const TDriveManifest& manifest,
                    std::vector<TEntryCheck>& entries) {
  std::set<std::string> named;
  for (const TManifestEntry& entry : manifest.Entries) {
    named.insert(entry.Entry);
    for (const TManifestFile& file : entry.Files) {
      std::vector<std::string> parts;
      std::string why;
      if (RecordedPathParts(file.File, parts, why)) named.insert(parts[1]);
    }
  }
  std::vector<TDriveFolderItem> items;
  if (!ListDriveFolder(root, {kProgramFolderName}, items)) return;
  std::sort(items.begin(), items.end(),
            [](const TDriveFolderItem& a, const TDriveFolderItem& b) { return a.Name < b.Name; });
  for (const TDriveFolderItem& item : items) {
    if (!item.Folder || !IsJobIdentifier(item.Name) || named.count(item.Name)) continue;
    entries.push_back({item.Name, item.Name, TEntryCheckState::NotRecorded,
                       "the manifest does not name this entry folder"});
  }
}

}  // namespace

const char* EntryCheckStateName(TEntryCheckState state) {
  switch (state) {
    case TEntryCheckState::Intact:
      return "intact";
    case TEntryCheckState::Changed:
      return "changed";
    case TEntryCheckState::Missing:
      return "missing";
    case TEntryCheckState::NotRecorded:
      return "not recorded";
  }
  return "changed";
}

const char* ManifestStateName(TManifestRead state) {
  switch (state) {
    case TManifestRead::Ok:
      return "ok";
    case TManifestRead::Missing:
      return "missing";
    case TManifestRead::Damaged:
      return "damaged";
  }
  return "damaged";
}

bool TDriveCheckResult::AllIntact() const {
  if (Manifest != TManifestRead::Ok || Cancelled) return false;
  return std::all_of(Entries.begin(), Entries.end(), [](const TEntryCheck& e) {
    return e.State == TEntryCheckState::Intact || e.State == TEntryCheckState::NotRecorded;
  });
}

std::string TDriveCheckResult::ManifestText() const {
  switch (Manifest) {
    case TManifestRead::Ok:
      return {};
    case TManifestRead::Missing:
      return kNoManifestText;
    case TManifestRead::Damaged:
      return "This drive's manifest is damaged: " + ManifestError;
  }
  return {};
}

std::string TDriveCheckResult::Summary() const {
  std::size_t recorded = 0, intact = 0, changed = 0, missing = 0;
  for (const TEntryCheck& e : Entries) {
    if (e.State == TEntryCheckState::NotRecorded) continue;
    ++recorded;
    intact += e.State == TEntryCheckState::Intact;
    changed += e.State == TEntryCheckState::Changed;
    missing += e.State == TEntryCheckState::Missing;
  }
  std::string text;
  if (Cancelled) text = "The check was cancelled. ";
  if (Manifest != TManifestRead::Ok) text += ManifestText() + ". ";
  const std::string entries = recorded == 1 ? " entry" : " entries";
  if (recorded == 0)
    text += "No entry is recorded.";
  else if (recorded == intact && !Cancelled)
    text += recorded == 1 ? "The entry is intact."
                          : "All " + std::to_string(recorded) + " entries are intact.";
  else
    text += std::to_string(intact) + " of " + std::to_string(recorded) + entries +
            " intact: " + std::to_string(changed) + " changed, " + std::to_string(missing) +
            " missing.";
  return text;
}

std::string DriveCheckText(const TDriveCheckResult& result) {
  std::string text;
  for (const TEntryCheck& e : result.Entries) {
    text += Printable(e.Title) + ": " + EntryCheckStateName(e.State);
    if (!e.Detail.empty()) text += ": " + Printable(e.Detail);
    text += "\n";
  }
  return text + result.Summary() + "\n";
}

TDriveCheckResult CheckDrive(const std::string& root, TDriveCheckProgress* progress,
                             const std::atomic<bool>* cancel) {
  TDriveCheckResult result;
  TDriveManifest manifest;
  result.Manifest = ReadDriveManifest(root, manifest, result.ManifestError);
  if (progress) {
    std::uint64_t total = 0;
    for (const TManifestEntry& entry : manifest.Entries)
      for (const TManifestFile& file : entry.Files) total = SaturatingSum(total, file.Size);
    progress->Done = 0;
    progress->Total = total;
  }
  // The entries of a damaged manifest that could be read are checked as well: the line on
  // the manifest comes first, and what the entries say still helps.
  for (const TManifestEntry& entry : manifest.Entries) {
    TEntryCheck check{entry.Entry, entry.Title, TEntryCheckState::Intact, {}};
    bool any_changed = false, any_missing = false;
    for (const TManifestFile& file : entry.Files) {
      if (cancel && cancel->load()) {
        result.Cancelled = true;
        return result;
      }
      const TFileOutcome outcome = CheckFile(root, file, progress, cancel);
      if (outcome.Cancelled) {
        result.Cancelled = true;
        return result;
      }
      if (outcome.State == TEntryCheckState::Intact) continue;
      any_changed = any_changed || outcome.State == TEntryCheckState::Changed;
      any_missing = any_missing || outcome.State == TEntryCheckState::Missing;
      // A folder that is gone takes every file in it: it is said once.
      if (check.Detail.find(outcome.Detail) == std::string::npos)
        check.Detail += (check.Detail.empty() ? "" : "; ") + outcome.Detail;
    }
    check.State = any_changed   ? TEntryCheckState::Changed
                  : any_missing ? TEntryCheckState::Missing
                                : TEntryCheckState::Intact;
    result.Entries.push_back(std::move(check));
  }
  AddNotRecorded(root, manifest, result.Entries);
  return result;
}

}  // namespace quorvane
