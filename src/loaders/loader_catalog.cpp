// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/loader_catalog.h"

#include "archive/archive_queries.h"
#include "archive/file_operations.h"
#include "loaders/ubuntu_boot_files.h"

namespace quorvane {

const std::array<const char*, kLoaderCount> LoaderNames = {
    "Windows 7 x86/64",
    "Windows 8 x86/64",
    "Windows 10 x86/64",
    "Kaspersky rescue disk",
    "AVG rescue disk",
    "Ubuntu 32/64 bit",
    "Hiren's Boot CD",
    "Parted Magic",
    "Dr.Web\u00AE LiveDisk",
    "Clonezilla Live",
};

const std::array<const char*, kLoaderCount> LoaderPages = {
    "https://www.microsoft.com/en-us/software-download/",
    "https://www.microsoft.com/en-us/software-download/",
    "https://www.microsoft.com/en-us/software-download/",
    "https://www.kaspersky.com/downloads/free-rescue-disk",
    "https://www.avg.com/en-us/avg-rescue-cd",
    "https://ubuntu.com/download/desktop",
    "https://www.hirensbootcd.org/download/",
    "https://partedmagic.com/downloads/",
    "https://download.drweb.com/livedisk/?lng=en",
    "https://clonezilla.org/downloads/download.php?branch=stable",
};

std::int64_t GetNecessarySpace(const std::string& FileName, std::int32_t LoaderType) {
  try {
    if (!IsLoaderType(LoaderType)) return 0;
    if (LoaderType == LoaderKaspersky) return GetArchiveContentSize(FileName);
    const std::int64_t image = FileSize64(FileName);
    if (image < 0) return 0;
    if (LoaderType != LoaderUbuntu) return image;
    // The kernel and initrd that the entry takes out of the image; an image whose
    // contents cannot be listed holds none.
    TUbuntuBootFiles files;
    FindUbuntuBootFilesIn(FileName, files);
    return image + files.KernelSize + files.InitrdSize;
  } catch (...) {
    return 0;
  }
}

}  // namespace quorvane
