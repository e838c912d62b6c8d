// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_json.h"

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "common/constants.h"
#include "drive/drive_identity.h"
#include "jobs/job_status.h"
#include "loaders/loader_catalog.h"

namespace quorvane {

namespace {

// Members in the order the schema lists them, "type" first.
using json = nlohmann::ordered_json;

// Text that is not valid UTF-8 (a label read from a drive) is written with U+FFFD in
// place of the bad bytes rather than failing the output.
std::string Line(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

json TextOrNull(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

json DriveJson(const TUSBDriveSet& d, bool unreadable_marked) {
  const bool unknown_volume = unreadable_marked && d.Name == "?";
  const bool sizes = d.FullSize > 0;
  json drive = {
      {"letter", std::string(1, d.Letter)},
      {"device", DriveDeviceText(d)},
      {"disk", TextOrNull(d.DiskDevice)},
      {"partition", d.VolumeDevice.empty() || d.VolumeDevice == d.DiskDevice
                        ? json(nullptr)
                        : json(d.VolumeDevice)},
      {"vendor", TextOrNull(d.Vendor)},
      {"model", TextOrNull(d.Model)},
      {"serial", TextOrNull(d.Serial)},
      {"label", unknown_volume || d.Name == kNoVolumeLabel ? json(nullptr) : json(d.Name)},
      {"file_system", unknown_volume ? json(nullptr) : TextOrNull(d.FileSystem)},
      {"free_bytes", sizes && d.FreeSpace >= 0 ? json(d.FreeSpace) : json(nullptr)},
      {"size_bytes", sizes ? json(d.FullSize) : json(nullptr)},
      {"mount_point", TextOrNull(d.MountPoint)},
      {"image_file", TextOrNull(d.ImageFile)},
  };
  return drive;
}

json NumberOrNull(double value) {
  return value >= 0 && std::isfinite(value) ? json(std::round(value * 10) / 10) : json(nullptr);
}

json EntryProgressJson(std::size_t index, const TEntryView& e) {
  return {{"type", "progress"},
          {"entry", index + 1},
          {"name", e.Name},
          {"status", e.Status},
          {"percent", e.Progress},
          {"bytes_done", e.BytesDone},
          {"bytes_total", e.BytesTotal},
          {"bytes_per_second", NumberOrNull(e.Rate)},
          {"seconds_left", NumberOrNull(e.SecondsLeft)},
          {"step", TextOrNull(e.Step)},
          {"error", TextOrNull(e.Error)}};
}

class TJsonView : public TBurnView {
 public:
  TJsonView(std::FILE* out, std::vector<TEntryView> entries)
      : FOut(out), FEntries(std::move(entries)), FLastLine(FEntries.size()) {}

  void DriveStep(const std::string& text) override {
    Put({{"type", "drive_step"}, {"text", text}});
  }

  void EntryChanged(std::size_t index, const TEntryView& entry) override {
    if (index >= FEntries.size()) return;
    const TEntryView& known = FEntries[index];
    const auto now = std::chrono::steady_clock::now();
    const bool changed = entry.Status != known.Status || entry.Progress != known.Progress ||
                         entry.Step != known.Step || entry.Error != known.Error;
    const bool speed_only = !changed && entry.Rate != known.Rate &&
                            now - FLastLine[index] >= std::chrono::seconds(1);
    if (!changed && !speed_only) return;
    FEntries[index] = entry;
    FLastLine[index] = now;
    Put(EntryProgressJson(index, entry));
  }

  void Note(const std::string& text) override { Put({{"type", "note"}, {"text", text}}); }
  void End() override { std::fflush(FOut); }

 private:
  void Put(const json& value) {
    std::fputs(Line(value).c_str(), FOut);
    std::fflush(FOut);
  }

  std::FILE* FOut;
  std::vector<TEntryView> FEntries;
  std::vector<std::chrono::steady_clock::time_point> FLastLine;
};

}  // namespace

std::string DrivesJsonLine(const TUSBDrives& drives, bool unreadable) {
  json list = json::array();
  for (const TUSBDriveSet& d : drives) list.push_back(DriveJson(d, unreadable));
  return Line({{"type", "drives"}, {"drives", list}, {"needs_root_for_some_cells", unreadable}});
}

std::string PlanJsonLine(const TUSBDriveSet& drive, std::uint8_t mode, std::uint8_t file_system,
                         const std::vector<TPlannedEntry>& entries, bool check_capacity,
                         bool verify) {
  json list = json::array();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TPlannedEntry& e = entries[i];
    list.push_back({{"entry", i + 1},
                    {"name", e.Name},
                    {"loader", e.Entry.Code},
                    {"loader_name", LoaderNames[e.Entry.Code]},
                    {"image", e.Entry.Path},
                    {"bytes_needed", e.Need.LdrFileSize},
                    {"needs_ntfs", e.Need.FNeedNTFS}});
  }
  const bool fresh = mode == FormatModeNew;
  return Line({{"type", "plan"},
               {"drive", DriveJson(drive, false)},
               {"mode", fresh ? "new" : "add"},
               {"file_system", fresh ? json(file_system == FileSystemNTFS ? "NTFS" : "FAT32")
                                     : json(nullptr)},
               {"check_capacity", fresh && check_capacity},
               {"verify", verify},
               {"entries", list}});
}

std::string ResultJsonLine(const TBurnOutcome& outcome) {
  json list = json::array();
  std::size_t finished = 0;
  for (std::size_t i = 0; i < outcome.Entries.size(); ++i) {
    const TEntryView& e = outcome.Entries[i];
    if (e.Status == kStatusFinished) ++finished;
    list.push_back({{"entry", i + 1},
                    {"name", e.Name},
                    {"status", e.Status == kStatusReady ? "Not started" : e.Status},
                    {"error", TextOrNull(e.Error)}});
  }
  return Line({{"type", "result"},
               {"success", outcome.AllFinished()},
               {"finished", finished},
               {"entries", list},
               {"drive_step_error", TextOrNull(outcome.DriveStepError)},
               {"interrupted", outcome.Interrupted},
               {"release_error", TextOrNull(outcome.MountReleaseError)}});
}

std::unique_ptr<TBurnView> MakeJsonView(std::FILE* out, std::vector<TEntryView> entries) {
  return std::make_unique<TJsonView>(out, std::move(entries));
}

std::string VerifyEntryJsonLine(const TEntryCheck& entry) {
  return Line({{"type", "verify_entry"},
               {"entry", entry.Entry},
               {"title", entry.Title},
               {"state", EntryCheckStateName(entry.State)},
               {"detail", TextOrNull(entry.Detail)}});
}

std::string VerifyResultJsonLine(const TDriveCheckResult& result) {
  json counts = {{"intact", 0}, {"changed", 0}, {"missing", 0}, {"not_recorded", 0}};
  for (const TEntryCheck& e : result.Entries) {
    const std::string state =
        e.State == TEntryCheckState::NotRecorded ? "not_recorded" : EntryCheckStateName(e.State);
    counts[state] = counts[state].get<int>() + 1;
  }
  return Line({{"type", "verify_result"},
               {"success", result.AllIntact()},
               {"manifest", ManifestStateName(result.Manifest)},
               {"manifest_text", TextOrNull(result.ManifestText())},
               {"entries", counts},
               {"cancelled", result.Cancelled},
               {"summary", result.Summary()}});
}

}  // namespace quorvane
