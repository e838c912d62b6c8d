// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The command line of quorvane-cli: what it is asked to do, read from its arguments
// without looking at any drive or file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

enum class TCliAction { Help, Version, Drives, Burn, SetupBootImages, Verify, TestBoot };

// One boot entry to burn: loader type and image file.
struct TCliEntry {
  std::int32_t Code = -1;
  std::string Path;
};

struct TCliCommand {
  TCliAction Action = TCliAction::Help;
  bool Bytes = false;  // drives: sizes in bytes instead of GiB
  bool Json = false;   // drives, burn, verify: one JSON object per line for scripts
  // burn, verify: the target, either a drive letter or an image file (with the size to create it
  // at when it does not exist yet; 0 when none was given).
  char Drive = 0;
  std::string Image;
  std::int64_t Size = 0;
  std::uint8_t Mode = 0;                   // FormatModeNew or FormatModeAdd
  std::optional<std::uint8_t> FileSystem;  // --fs; none: chosen by the capacity rules
  std::vector<TCliEntry> Entries;
  bool Yes = false;  // burn without asking
  bool Force = false;  // with Yes: burn a drive mounted by someone else too
  bool CheckCapacity = false;  // mode new: check the drive's real capacity first
  bool NoVerify = false;  // burn: skip reading the entries back from the drive
  // test-boot (with Drive or Image): UEFI instead of BIOS, no window, the menu items to
  // choose (1-based, one per menu) and how long to wait for the last (0: the default).
  bool Uefi = false;
  bool NoWindow = false;
  std::vector<int> MenuEntry;
  int WaitSeconds = 0;
  // setup-boot-images: the release's zip file or a folder, and the folder to install into
  // (empty: the program's own, BootImagesDir()).
  std::string From;
  std::string To;
};

// Reads the arguments that follow the program name. False with the reason in `error`
// when they are not a valid command.
bool ParseCliArguments(const std::vector<std::string>& args, TCliCommand& command,
                       std::string& error);

// "5:/images/ubuntu.iso": the loader type and the image, split at the first colon.
bool ParseCliEntry(const std::string& text, TCliEntry& entry, std::string& error);

// A byte count: digits, optionally followed by K, M, G or T (powers of 1024; "KiB" and
// the like are accepted too). False for anything else, zero, or a count too large.
bool ParseByteCount(const std::string& text, std::int64_t& bytes);

// The smallest image drive that --size may ask for.
inline constexpr std::int64_t kSmallestImageDrive = 16LL << 20;

// Bounds of test-boot's --entry and --wait.
inline constexpr int kMaxMenuItem = 999;
inline constexpr int kMaxWaitSeconds = 86400;

// The usage text.
std::string CliUsage();

}  // namespace quorvane
