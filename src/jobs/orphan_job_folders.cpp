// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/orphan_job_folders.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/file_operations.h"
#include "common/constants.h"

namespace quorvane {

bool IsJobIdentifier(const std::string& name) {
  if (name.size() != 36) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? name[i] != '-' : !std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

namespace {

namespace fs = std::filesystem;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// Every boot menu of the drive, in upper case (FAT keeps names in any case): "menu.lst"
// at the root, and the GRUB 2 menus (*.cfg) at the root and in the usual folders of a
// UEFI boot.
std::string MenusText(const std::string& root) {
  std::string text;
  const auto add = [&text](const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) return;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    text += Upper(content.str());
    text += '\n';
  };
  add(fs::path(root) / "menu.lst");
  for (const char* folder : {"", "boot/grub", "EFI/BOOT", "EFI/boot", "efi/boot"}) {
    std::error_code ec;
    const fs::path dir = fs::path(root) / folder;
    if (!fs::is_directory(fs::symlink_status(dir, ec))) continue;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
      std::string ext = Upper(e.path().extension().string());
      if (ext == ".CFG" || ext == ".LST") add(e.path());
    }
  }
  return text;
}

}  // namespace

std::vector<std::string> FindOrphanJobFolders(const std::string& root) {
  std::vector<std::string> orphans;
  std::error_code ec;
  const fs::path base = fs::path(root) / kProgramFolderName;
  if (!fs::is_directory(fs::symlink_status(base, ec))) return orphans;
  const std::string menus = MenusText(root);
  for (const fs::directory_entry& e : fs::directory_iterator(base, ec)) {
    const std::string name = e.path().filename().string();
    if (!IsJobIdentifier(name) || !fs::is_directory(e.symlink_status(ec))) continue;
    // A menu item points into the folder by its identifier ("(hd0,0)/Quorvane/<id>/...",
    // or with backslashes for Windows): any mention keeps the folder.
    if (menus.find(Upper(name)) != std::string::npos) continue;
    orphans.push_back(e.path().string());
  }
  std::sort(orphans.begin(), orphans.end());
  return orphans;
}

std::vector<std::string> RemoveOrphanJobFolders(const std::string& root) {
  std::vector<std::string> removed;
  for (const std::string& folder : FindOrphanJobFolders(root)) {
    std::string error;
    DeleteDirectory(folder, error);
    if (error.empty()) removed.push_back(folder);
  }
  return removed;
}

}  // namespace quorvane
