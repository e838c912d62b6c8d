// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/linux_ntfs_extents.h"

#include <charconv>
#include <sstream>

#include "drive/linux_block_devices.h"
#include "drive/linux_mount_table.h"
#include "common/tool_runner.h"

namespace quorvane {

namespace {

bool ParseNumber(const std::string& text, std::uint64_t& value, int base) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    begin += 2;
  const auto [rest, ec] = std::from_chars(begin, end, value, base);
  return ec == std::errc() && rest == end && rest != begin;
}

// The decimal number after "Name:" in a line such as "\tData size:\t\t 3145728 (0x300000)".
bool FieldValue(const std::string& line, const std::string& name, std::uint64_t& value) {
  const std::size_t at = line.find(name);
  if (at == std::string::npos) return false;
  std::istringstream in(line.substr(at + name.size()));
  std::string number;
  in >> number;
  return ParseNumber(number, value, 10);
}

std::string Trimmed(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool ParseNtfsInfoDataRuns(const std::string& output, std::uint64_t file_size,
                           std::vector<TFileExtent>& extents) {
  extents.clear();
  struct TRun {
    std::uint64_t vcn, lcn, length;
  };
  // One dumped attribute record; a file with many pieces has its data stream's runs in
  // several records.
  struct TRecord {
    bool data = false, named = false, resident = false, plain = true, bad = false;
    bool have_size = false;
    std::uint64_t data_size = 0, allocated = 0;
    std::vector<TRun> runs;
  };
  std::vector<TRecord> records;
  bool in_runs = false;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    const std::string text = Trimmed(line);
    if (text.rfind("Dumping attribute ", 0) == 0) {
      records.emplace_back();
      records.back().data = text.rfind("Dumping attribute $DATA ", 0) == 0;
      in_runs = false;
      continue;
    }
    if (records.empty() || !records.back().data) continue;
    TRecord& r = records.back();
    std::uint64_t value = 0;
    if (text.rfind("Name length:", 0) == 0) {
      r.bad |= !FieldValue(text, "Name length:", value);
      r.named = value != 0;
    } else if (text.rfind("Resident:", 0) == 0) {
      r.resident = text.find("No") == std::string::npos;
    } else if (text.rfind("Attribute flags:", 0) == 0) {
      // Compressed (0x0001), encrypted (0x4000) or sparse (0x8000): not plain clusters.
      std::istringstream flags(text.substr(std::string("Attribute flags:").size()));
      std::string word;
      flags >> word;
      r.bad |= !ParseNumber(word, value, 16);
      r.plain = value == 0;
    } else if (text.rfind("Data size:", 0) == 0) {
      r.bad |= !FieldValue(text, "Data size:", r.data_size);
      r.have_size = true;
    } else if (text.rfind("Allocated size:", 0) == 0) {
      r.bad |= !FieldValue(text, "Allocated size:", r.allocated);
    } else if (text.rfind("Runlist:", 0) == 0) {
      in_runs = true;
    } else if (in_runs) {
      std::istringstream row(text);
      std::string vcn, lcn, length;
      TRun run{};
      if (!(row >> vcn >> lcn >> length) || !ParseNumber(vcn, run.vcn, 16)) {
        in_runs = false;
        continue;
      }
      // A hole ("<HOLE>") names no cluster: nothing there to map.
      if (!ParseNumber(lcn, run.lcn, 16) || !ParseNumber(length, run.length, 16) || run.length == 0)
        r.bad = true;
      r.runs.push_back(run);
    }
  }
  std::vector<TRun> runs;
  std::uint64_t data_size = 0, allocated = 0, next_vcn = 0;
  bool have_size = false;
  for (const TRecord& r : records) {
    if (!r.data || r.named) continue;
    if (r.bad || r.resident || !r.plain) return false;
    if (r.have_size && !have_size) {
      have_size = true;
      data_size = r.data_size;
      allocated = r.allocated;
    }
    for (const TRun& run : r.runs) {
      if (run.vcn != next_vcn) return false;
      next_vcn += run.length;
      runs.push_back(run);
    }
  }
  if (!have_size || data_size != file_size || runs.empty() || allocated == 0 ||
      allocated % next_vcn != 0)
    return false;
  const std::uint64_t cluster = allocated / next_vcn;
  if (next_vcn * cluster < file_size) return false;
  for (const TRun& r : runs)
    extents.push_back({r.vcn * cluster, r.lcn * cluster, r.length * cluster});
  return true;
}

bool ReadNtfs3gExtents(const struct stat& info, std::vector<TFileExtent>& extents) {
  const std::string device = DevNumberText(info.st_dev);
  std::string source;
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile("/proc/self/mountinfo")))
    if (m.DevNumber == device && m.FsType == "fuseblk") source = m.Source;
  struct stat node {};
  if (source.empty() || ::stat(source.c_str(), &node) != 0 || !S_ISBLK(node.st_mode)) return false;
  // Read only; "--force" because the volume is mounted, which ntfs-3g is doing right now.
  const TToolResult r = SystemToolRunner()->Run(
      {"ntfsinfo", {"--force", "--verbose", "--inode", std::to_string(info.st_ino), source}, ""});
  if (!r.Succeeded()) return false;
  return ParseNtfsInfoDataRuns(r.Output, static_cast<std::uint64_t>(info.st_size), extents);
}

}  // namespace quorvane
