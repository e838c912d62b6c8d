// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/ntfs_layout.h"

namespace quorvane {

namespace {

constexpr std::uint64_t kSectorBytes = 512;

}  // namespace

std::vector<TToolCommand> NtfsLayoutCommands(const std::string& node, std::uint64_t start_sector,
                                             std::uint64_t bytes) {
  // The boot sector must carry the partition's start (hidden sectors) and a geometry, or
  // the boot loader cannot mount the volume; the tools cannot always learn them from a
  // USB stick or a loop device.
  std::vector<std::string> mkntfs{"--quick", "-p", std::to_string(start_sector), "-H", "255",
                                  "-S",      "63", node};
  const bool grow = bytes / kSectorBytes > kNtfsSeedSectors;
  if (grow) mkntfs.push_back(std::to_string(kNtfsSeedSectors));
  std::vector<TToolCommand> commands{{"mkfs.ntfs", mkntfs, ""}};
  if (!grow) return commands;
  // Twice "--force": the volume is new, and ntfsresize would otherwise ask for a check
  // first. Growing leaves it marked for one, which ntfsfix clears.
  commands.push_back(
      {"ntfsresize", {"--force", "--force", "--size", std::to_string(bytes), node}, ""});
  commands.push_back({"ntfsfix", {"-d", node}, ""});
  return commands;
}

namespace {

bool RunAll(IToolRunner& runner, const std::vector<TToolCommand>& commands, std::string& error) {
  for (const TToolCommand& command : commands) {
    const TToolResult result = runner.Run(command);
    if (!result.Succeeded()) {
      error = result.ErrorText();
      return false;
    }
  }
  return true;
}

}  // namespace

bool MakeNtfsVolume(IToolRunner& runner, const std::string& node, std::uint64_t start_sector,
                    std::uint64_t bytes, std::string& error) {
  return RunAll(runner, {NtfsLayoutCommands(node, start_sector, bytes).front()}, error);
}

bool GrowNtfsVolume(IToolRunner& runner, const std::string& node, std::uint64_t bytes,
                    std::string& error) {
  std::vector<TToolCommand> commands = NtfsLayoutCommands(node, 0, bytes);
  commands.erase(commands.begin());
  return RunAll(runner, commands, error);
}

const std::vector<std::string>& NtfsLayoutTools() {
  static const std::vector<std::string> tools{"mkfs.ntfs", "ntfsresize", "ntfsfix"};
  return tools;
}

std::uint64_t NewNtfsLargestFreeRun(std::uint64_t bytes) {
  // Not grown, mkfs.ntfs's own layout: $MFTMirr and the 2 MiB $LogFile in the middle,
  // what the volume keeps for itself in front of them.
  if (bytes / kSectorBytes <= kNtfsSeedSectors) {
    const std::uint64_t half = bytes / 2;
    return half > (4u << 20) ? half - (4u << 20) : 0;
  }
  // Grown: what the seed volume keeps for itself lies in its first 64 MiB; the grown
  // cluster bitmap (one bit per 4 KiB cluster) and the backup boot sector's cluster are
  // counted on top, with a MiB to spare.
  const std::uint64_t taken = (kNtfsSeedSectors * kSectorBytes) + bytes / (4096 * 8) + (1u << 20);
  return bytes > taken ? bytes - taken : 0;
}

}  // namespace quorvane
