// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/uefi_boot.h"

#include "common/text.h"
#include "loaders/ubuntu_boot_files.h"

namespace quorvane {

namespace {

struct TFileList {
  const std::vector<TArchiveFileItem>& Files;

  // The image's own name of `path` (ISO 9660 without extensions compares without case).
  std::string Find(const std::string& path) const {
    for (const TArchiveFileItem& f : Files)
      if (LowerAscii(f.Path) == LowerAscii(path)) return "/" + f.Path;
    return {};
  }
  bool Has(const std::string& path) const { return !Find(path).empty(); }
  // The first file in `folder` whose name starts with `prefix` ("live/", "vmlinuz").
  std::string FirstStarting(const std::string& folder, const std::string& prefix) const {
    for (const TArchiveFileItem& f : Files) {
      const std::string lower = LowerAscii(f.Path);
      if (lower.rfind(folder + prefix, 0) == 0 &&
          lower.find('/', folder.size()) == std::string::npos)
        return "/" + f.Path;
    }
    return {};
  }
};

TUefiBoot KernelRoute(std::string kernel, std::vector<std::string> initrds) {
  TUefiBoot boot;
  for (const std::string& i : initrds)
    if (i.empty()) return boot;
  if (kernel.empty()) return boot;
  boot.Route = TUefiRoute::Kernel;
  boot.Kernel = std::move(kernel);
  boot.Initrds = std::move(initrds);
  return boot;
}

// The kernel line the type's own boot configuration has, where the type has one.
TUefiBoot TypeKernel(std::int32_t type, const TFileList& list) {
  switch (type) {
    case 4:  // AVG
      return KernelRoute(list.Find("isolinux/vmlinuz"), {list.Find("isolinux/initrd.lzm")});
    case 5: {  // Ubuntu
      const TUbuntuBootFiles files = FindUbuntuBootFiles(list.Files);
      if (files.Kernel.empty() || files.Initrd.empty()) return {};
      return KernelRoute("/casper/" + files.Kernel, {"/casper/" + files.Initrd});
    }
    case 7:  // Parted Magic: its three images in this order
      return KernelRoute(list.Find("pmagic/bzImage64"),
                         {list.Find("pmagic/initrd.img"), list.Find("pmagic/fu.img"),
                          list.Find("pmagic/m64.img")});
    case 9: {  // Clonezilla (live-boot); the kernel's name is sometimes versioned
      std::string kernel = list.Find("live/vmlinuz");
      if (kernel.empty()) kernel = list.FirstStarting("live/", "vmlinuz");
      std::string initrd = list.Find("live/initrd.img");
      if (initrd.empty()) initrd = list.FirstStarting("live/", "initrd");
      return KernelRoute(kernel, {initrd});
    }
    default:
      return {};
  }
}

}  // namespace

TUefiBoot UefiBootOfFiles(std::int32_t type, const std::vector<TArchiveFileItem>& files) {
  const TFileList list{files};
  TUefiBoot boot;
  if (type >= 0 && type <= 2) return boot;  // Windows setup needs a real device
  if (type == 3) {
    boot.Route = TUefiRoute::Unpacked;
    return boot;
  }
  // A WinPE CD's boot manager, chainloaded from a file, finds no device to boot from.
  if (list.Has("sources/boot.wim") || list.Has("bootmgr")) return boot;
  if (list.Has("boot/grub/loopback.cfg")) {
    boot.Route = TUefiRoute::LoopbackCfg;
    return boot;
  }
  if (TUefiBoot kernel = TypeKernel(type, list); !kernel.BiosOnly()) return kernel;
  if (type == 4 || type == 5) return boot;  // nothing else starts these types
  // A GRUB 2 CD runs its own menu with the image as root; a CD whose EFI loader needs
  // nothing from its medium after start is chainloaded.
  if (list.Has("boot/grub/grub.cfg")) {
    boot.Route = TUefiRoute::ImageGrubCfg;
    return boot;
  }
  if (const std::string efi = list.Find("EFI/BOOT/BOOTX64.EFI"); !efi.empty()) {
    boot.Route = TUefiRoute::Chainload;
    boot.EfiLoader = efi;
  }
  return boot;
}

TUefiBoot UefiBootOf(std::int32_t type, const std::string& image) {
  if (type == 3) return UefiBootOfFiles(type, {});
  std::vector<TArchiveFileItem> files;
  if (!ListArchiveFiles(image, files)) return {};
  return UefiBootOfFiles(type, files);
}

}  // namespace quorvane
