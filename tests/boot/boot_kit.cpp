// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "boot_kit.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/tool_runner.h"
#include "support/grub4dos_images.h"
#include "support/loop_devices.h"

namespace quorvane::testing {

namespace {

using namespace std::chrono_literals;

// A menu item as GRUB4DOS draws it: the title after the menu's frame and a blank.
bool ShowsItem(const std::string& screen, const std::string& title) {
  return screen.find("| " + title + " ") != std::string::npos;
}

}  // namespace

bool PrepareBootMedia(TBootMedia& media, std::string& why) {
  media.Dir = std::string(QUORVANE_BOOT_KIT_DIR) + "/";
  TToolCommand build;
  build.Program = std::string(QUORVANE_E2E_SOURCE_DIR) + "/tests/boot/make_media.sh";
  build.Args = {media.Dir};
  build.Limit = std::chrono::minutes(20);
  TSystemToolRunner runner;
  const TToolResult result = runner.Run(build);
  if (result.Succeeded()) return true;
  if (result.Started && result.ExitStatus == 3) {
    why = "the boot media cannot be built here: " + OneLine(result.ErrorOutput);
    return false;
  }
  ADD_FAILURE() << "building the boot media failed: " << result.ErrorText();
  why = "building the boot media failed";
  return false;
}

std::string BurnUnavailable() {
  return LoopDevicesUnavailable(
      {"losetup", "sfdisk", "wipefs", "blockdev", "mkfs.ntfs", "ntfs-3g", "umount"});
}

std::string BurnAndBootUnavailable(TFirmware firmware, TBootMedia* media) {
  if (std::string why = Grub4DosImagesMissing(); !why.empty()) return why;
  if (std::string why = FirmwareUnavailable(firmware); !why.empty()) return why;
  if (std::string why = BurnUnavailable(); !why.empty()) return "no loop devices: " + why;
  if (std::string why; media && !PrepareBootMedia(*media, why)) return why;
  return {};
}

TProcessResult BurnNewNtfsDrive(const std::string& drive, const std::string& size,
                                const std::vector<TBurnEntry>& entries) {
  std::vector<std::string> args{"burn", "--image", drive, "--size", size, "--mode", "new",
                                "--fs", "ntfs", "--yes"};
  for (const TBurnEntry& e : entries)
    args.insert(args.end(), {"--entry", std::to_string(e.Code) + ":" + e.Image});
  return RunCli(args);
}

std::string KitLines(const std::string& serial) {
  std::string lines;
  std::istringstream in(serial);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (const std::size_t at = line.find("KIT: "); at != std::string::npos)
      lines += line.substr(at) + "\n";
  }
  return lines.empty() ? "(nothing from the kit's init)\n" : lines;
}

bool StartGrub4DosEntry(TQemuMachine& machine, const std::vector<std::string>& main_titles,
                        std::size_t index, const std::string& item_title, std::string& screen) {
  const auto main_menu = [&](const std::string& shown) {
    for (const std::string& title : main_titles)
      if (!ShowsItem(shown, title)) return false;
    return true;
  };
  if (!machine.WaitForScreen(main_menu, 180s, &screen)) return false;
  for (std::size_t i = 0; i < index; ++i) machine.SendKey("down");
  machine.SendKey("ret");
  // The entry's own menu ends with the item back to the main menu.
  const auto entry_menu = [&](const std::string& shown) {
    return ShowsItem(shown, "Main menu") && ShowsItem(shown, item_title);
  };
  if (!machine.WaitForScreen(entry_menu, 60s, &screen)) return false;
  machine.SendKey("ret");
  return true;
}

bool StartGrub2Entry(TQemuMachine& machine, const std::vector<std::string>& titles,
                     std::size_t index, std::string& serial) {
  const bool shown = machine.WaitForSerial(
      [&](const std::string& text) {
        for (const std::string& title : titles)
          if (text.find(title) == std::string::npos) return false;
        return true;
      },
      180s);
  serial = machine.Serial();
  if (!shown) return false;
  for (std::size_t i = 0; i < index; ++i) machine.SendKey("down");
  machine.SendKey("ret");
  return true;
}

}  // namespace quorvane::testing
