// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/grub2_menu.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/file_writes.h"
#include "common/text.h"
#include "drive/drive_letters.h"
#include "loaders/menu_text_escape.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// A path on the main partition, as one GRUB 2 word.
std::string OnMain(const std::string& path) { return "($qv_main)" + Grub2MenuWord(path); }
std::string InLoop(const std::string& path) { return "(loop)" + Grub2MenuWord(path); }

std::string Item(const std::string& title, const std::string& body) {
  return "menuentry " + Grub2MenuWord(title) + " {\n" + body + "}\n";
}

std::string LoopOf(const std::string& iso) { return "  loopback loop " + OnMain(iso) + "\n"; }

constexpr std::int64_t kAbsent = -1, kNotAFile = -2;

std::int64_t SizeOf(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (!fs::exists(status)) return kAbsent;
  if (!fs::is_regular_file(status)) return kNotAFile;
  const auto size = fs::file_size(path, ec);
  return ec ? kNotAFile : static_cast<std::int64_t>(size);
}

// Only a file the append made or lengthened is taken back; anything else stays.
void Restore(const std::string& path, std::int64_t size) {
  std::error_code ec;
  if (size == kNotAFile) return;
  if (size == kAbsent) {
    if (SizeOf(path) < 0) return;
    fs::remove(path, ec);
    return;
  }
  if (SizeOf(path) > size) fs::resize_file(path, static_cast<std::uintmax_t>(size), ec);
}

}  // namespace

std::string Grub2MainMenuHeader() {
  return "# The UEFI menu of this drive: the entries of menu.lst, in the same order.\n"
         "if [ -z \"$qv_main\" ]; then set qv_main=\"$root\"; export qv_main; fi\n"
         "if [ \"$lockdown\" = \"y\" -o \"$shim_lock\" = \"y\" ]; then\n" +
         Item("Secure Boot is on: switch it off in the firmware settings to boot these entries",
              "  echo 'Secure Boot is on. Switch it off in the firmware settings (setup) of this PC,'\n"
              "  echo 'then boot this drive again.'\n"
              "  echo 'Press Enter to return to the menu.'\n"
              "  read\n") +
         "fi\n";
}

std::string Grub2ConfigfileItem(const std::string& title, const std::string& cfg_path) {
  return Item(title, "  configfile " + OnMain(cfg_path) + "\n");
}

std::string Grub2BiosOnlyItem(const std::string& title) {
  return Item(title + kBiosOnlySuffix,
              "  echo " + Grub2MenuWord(title + " boots on BIOS only.") + "\n" +
                  "  echo 'Restart the PC and boot this drive in legacy (CSM) mode to start it.'\n"
                  "  echo 'Press Enter to return to the menu.'\n"
                  "  read\n");
}

std::string Grub2MainMenuReturnItem() {
  return Item("Main menu", std::string("  configfile ($qv_main)/") + kGrub2MainMenuName + "\n");
}

std::string Grub2ImageItem(const TUefiBoot& boot, const std::string& title, const std::string& iso,
                           const std::string& kernel_params) {
  switch (boot.Route) {
    case TUefiRoute::LoopbackCfg:
    case TUefiRoute::ImageGrubCfg: {
      // The image's own menu, with the image as root; loopback.cfg reads the image's
      // path from iso_path.
      const std::string cfg = boot.Route == TUefiRoute::LoopbackCfg ? "/boot/grub/loopback.cfg"
                                                                     : "/boot/grub/grub.cfg";
      return Item(title, "  set iso_path=" + Grub2MenuWord(iso) + "\n  export iso_path\n" +
                             LoopOf(iso) + "  set root=(loop)\n  configfile " + cfg + "\n");
    }
    case TUefiRoute::Kernel: {
      std::string body = LoopOf(iso) + "  linux " + InLoop(boot.Kernel);
      if (!kernel_params.empty()) body += " " + kernel_params;
      body += "\n  initrd";
      for (const std::string& initrd : boot.Initrds) body += " " + InLoop(initrd);
      return Item(title, body + "\n");
    }
    case TUefiRoute::Chainload:
      return Item(title, LoopOf(iso) + "  chainloader " + InLoop(boot.EfiLoader) + "\n");
    case TUefiRoute::BiosOnly:
    case TUefiRoute::Unpacked:
      break;
  }
  return {};
}

std::string Grub2DriveKernelItem(const std::string& title, const std::string& kernel,
                                 const std::string& initrd, const std::string& kernel_params) {
  return Item(title, "  probe --set=qv_uuid -u ($qv_main)\n  linux " + OnMain(kernel) + " " + kernel_params + "\n  initrd " +
                         OnMain(initrd) + "\n");
}

void AppendGrub2MenuPoint(char Drive, const std::string& Item, std::string& Error) {
  Error = "Unhandled error while appending new menu point";
  int fd = -1;
  try {
    const std::string root = DriveRoot(Drive);
    std::error_code ec;
    if (root.empty() || !fs::is_directory(root, ec)) {
      Error = "Drive not found";
      return;
    }
    const std::string menu = root + kGrub2MainMenuName;
    fd = ::open(menu.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      Error = "Failed to create/open menu file " + Quoted(menu);
      return;
    }
    struct stat st {};
    const std::string text = (::fstat(fd, &st) == 0 && st.st_size == 0 ? Grub2MainMenuHeader() : "") +
                             "\n" + Item;
    if (!WriteAll(fd, text.data(), text.size()) || ::fsync(fd) != 0)
      Error = "Failed to write new menu file option";
    else
      Error.clear();
  } catch (...) {
  }
  if (fd >= 0) ::close(fd);
}

TMainMenusMark MarkMainMenus(char Drive) {
  TMainMenusMark mark;
  try {
    mark.Root = DriveRoot(Drive);
    if (mark.Root.empty()) return mark;
    mark.Grub4DosSize = SizeOf(mark.Root + "menu.lst");
    mark.Grub2Size = SizeOf(mark.Root + kGrub2MainMenuName);
  } catch (...) {
    mark.Root.clear();
  }
  return mark;
}

void RestoreMainMenus(const TMainMenusMark& mark) {
  if (mark.Root.empty()) return;
  Restore(mark.Root + "menu.lst", mark.Grub4DosSize);
  Restore(mark.Root + kGrub2MainMenuName, mark.Grub2Size);
}

}  // namespace quorvane
