// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/image_check.h"

#include <fnmatch.h>

#include <cctype>
#include <fstream>
#include <initializer_list>
#include <vector>

#include "archive/archive_queries.h"
#include "archive/file_operations.h"
#include "loaders/cd_image.h"
#include "loaders/loader_catalog.h"
#include "loaders/ubuntu_boot_files.h"

namespace quorvane {

namespace {

bool HasFile(const std::vector<TArchiveFileItem>& files, const char* pattern) {
  for (const TArchiveFileItem& f : files)
    if (::fnmatch(pattern, f.Path.c_str(), FNM_PATHNAME | FNM_CASEFOLD) == 0) return true;
  return false;
}

// "The image has no a or b (role)" when it holds none of `any_of`; empty when it holds one.
std::string Missing(const std::vector<TArchiveFileItem>& files,
                    std::initializer_list<const char*> any_of, const char* role) {
  std::string names;
  for (const char* pattern : any_of) {
    if (HasFile(files, pattern)) return {};
    names += std::string(names.empty() ? "" : " or ") + pattern;
  }
  return "The image has no " + names + " (" + role + ")";
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  for (std::size_t i = 0; i < end.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) != end[i])
      return false;
  return true;
}

// A virtual hard disk of a Windows installer: its footer (also at its start in a dynamic
// one) carries the cookie "conectix".
std::string VhdProblem(const std::string& image, std::int64_t size) {
  std::ifstream in(image, std::ios::binary);
  char cookie[8] = {};
  if (size >= 512) {
    in.seekg(size - 512);
    in.read(cookie, sizeof cookie);
  }
  if (in && std::string(cookie, sizeof cookie) == "conectix") return {};
  return "The image is not a virtual hard disk (VHD): it has no VHD footer";
}

std::string ContentProblem(const std::vector<TArchiveFileItem>& files, std::int32_t code) {
  std::string problem;
  const auto need = [&](std::initializer_list<const char*> any_of, const char* role) {
    if (problem.empty()) problem = Missing(files, any_of, role);
  };
  switch (code) {
    case LoaderWindows7:
    case LoaderWindows8:
    case LoaderWindows10:
      need({"sources/boot.wim"}, "Windows setup's boot image; it is no Windows installation image");
      need({"sources/install.wim", "sources/install.esd", "sources/install.swm"},
           "the Windows image that setup installs");
      break;
    case LoaderKaspersky:
      need({"boot/rescue"}, "the rescue disk's kernel");
      need({"boot/rescue.igz"}, "the rescue disk's initrd");
      need({"rescue/LiveOS/squashfs.img"}, "the rescue disk's live file system");
      break;
    case LoaderAVG:
      need({"isolinux/vmlinuz"}, "the rescue disk's kernel");
      need({"isolinux/initrd.lzm"}, "the rescue disk's initrd");
      break;
    case LoaderUbuntu: {
      const TUbuntuBootFiles boot = FindUbuntuBootFiles(files);
      // The entry's own messages, as when the files go missing after this check.
      if (boot.Kernel.empty()) return UbuntuKernelMissing();
      if (boot.Initrd.empty()) return UbuntuInitrdMissing();
      need({"casper/*.squashfs"}, "Ubuntu's live file system");
      break;
    }
    case LoaderClonezilla:
      need({"live/vmlinuz*"}, "the live system's kernel");
      need({"live/initrd*"}, "the live system's initrd");
      need({"live/filesystem.squashfs"}, "the live system's file system");
      break;
    default:
      break;
  }
  return problem;
}

}  // namespace

std::string ImageBootProblem(const std::string& image, std::int32_t code) {
  if (!IsLoaderType(code)) return {};
  const std::int64_t size = FileSize64(image);
  if (size < 0) return "The image cannot be read";
  if (size == 0) return "The image file is empty";
  if (IsWindowsLoader(code) && EndsWithNoCase(image, ".vhd")) return VhdProblem(image, size);

  TCdImageFacts facts;
  std::string error;
  if (!ReadCdImageFacts(image, facts, error)) return "The image cannot be read: " + error;
  if (!facts.Iso9660 && !facts.Udf)
    return "The image is not a CD or DVD image: it has no ISO 9660 or UDF file system";
  if (facts.VolumeBytes > size)
    return "The image is cut off: its file system spans " + std::to_string(facts.VolumeBytes) +
           " bytes, the file holds " + std::to_string(size);
  const bool boots_as_cd = code == LoaderHirens || code == LoaderPartedMagic ||
                           code == LoaderDrWeb || code == LoaderClonezilla;
  if (boots_as_cd && !facts.ElTorito)
    return "The image has no El Torito boot record: it does not start as a CD";

  std::vector<TArchiveFileItem> files;
  if (!ListArchiveFiles(image, files)) return "The files of the image cannot be listed";
  return ContentProblem(files, code);
}

std::string CopiedImageProblem(const std::string& image, const std::string& copy,
                               std::int32_t code) {
  const std::int64_t size = FileSize64(image), copied = FileSize64(copy);
  if (copied != size)
    return "The copy on the USB drive is not whole: it holds " + std::to_string(copied) +
           " of " + std::to_string(size) + " bytes";
  std::string problem = ImageBootProblem(copy, code);
  if (problem.empty()) return {};
  problem[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(problem[0])));
  return "The copy on the USB drive cannot boot: " + problem;
}

}  // namespace quorvane
