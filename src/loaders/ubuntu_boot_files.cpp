// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/ubuntu_boot_files.h"

namespace quorvane {

namespace {

template <std::size_t N>
void Pick(const std::vector<TArchiveFileItem>& files, const std::array<const char*, N>& names,
          std::string& name, std::int64_t& size) {
  for (const char* candidate : names) {
    const std::string path = std::string("casper/") + candidate;
    for (const TArchiveFileItem& f : files) {
      if (f.Path != path) continue;
      name = candidate;
      size = f.Size;
      return;
    }
  }
}

template <std::size_t N>
std::string Choices(const std::array<const char*, N>& names) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) text += i + 1 == N ? " or " : ", ";
    text += std::string("casper/") + names[i];
  }
  return text;
}

}  // namespace

TUbuntuBootFiles FindUbuntuBootFiles(const std::vector<TArchiveFileItem>& files) {
  TUbuntuBootFiles found;
  Pick(files, kUbuntuKernelNames, found.Kernel, found.KernelSize);
  Pick(files, kUbuntuInitrdNames, found.Initrd, found.InitrdSize);
  return found;
}

bool FindUbuntuBootFilesIn(const std::string& image, TUbuntuBootFiles& found) {
  std::vector<TArchiveFileItem> files;
  found = {};
  if (!ListArchiveFiles(image, files)) return false;
  found = FindUbuntuBootFiles(files);
  return true;
}

std::string UbuntuKernelMissing() {
  return "Ubuntu kernel file not found on ISO (" + Choices(kUbuntuKernelNames) + ")";
}

std::string UbuntuInitrdMissing() {
  return "Ubuntu initrd file not found on ISO (" + Choices(kUbuntuInitrdNames) + ")";
}

}  // namespace quorvane
