// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whether an image is what its loader needs to boot, on small images made with xorriso:
// each loader type against images that lack one thing each.
#include "loaders/image_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "loaders/cd_image.h"
#include "support/iso_images.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

std::string Cut(const std::string& image, std::uintmax_t keep) {
  const std::string cut = image + ".cut";
  std::filesystem::copy_file(image, cut, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::resize_file(cut, keep);
  return cut;
}

TEST(ImageCheck, EachLoaderTypeAgainstImagesThatLackOneThing) {
  TTempDir temp;
  const auto make = [&](const std::string& name, int code,
                        const std::map<std::string, std::string>& extra = {}) {
    MakeLoaderImage(temp / name, code, extra);
    return temp / name;
  };
  WriteFile(temp / "empty.iso", "");
  WriteFile(temp / "noise.iso", std::string(100000, 'n'));
  MakeIso(temp / "plain.iso", {{"README.TXT", "no boot record"}});
  MakeBootableIso(temp / "no-wim.iso", {{"setup.exe", "MZ"}, {"sources/install.wim", "w"}});
  MakeBootableIso(temp / "no-install.iso", {{"sources/boot.wim", "w"}});
  MakeIso(temp / "esd.iso", {{"sources/boot.wim", "w"}, {"SOURCES/INSTALL.ESD", "e"}});
  std::string vhd(8192, 'v');
  vhd.replace(8192 - 512, 8, "conectix");
  WriteFile(temp / "win7.vhd", vhd);
  WriteFile(temp / "fake.VHD", std::string(8192, 'v'));
  MakeIso(temp / "ubuntu-no-live.iso", {{"casper/vmlinuz", "k"}, {"casper/initrd", "i"}});
  MakeIso(temp / "ubuntu-no-initrd.iso", {{"casper/vmlinuz", "k"}, {"casper/filesystem.squashfs", "s"}});
  MakeIso(temp / "krd-no-live.iso", {{"boot/rescue", "k"}, {"boot/rescue.igz", "i"}});
  MakeIso(temp / "avg-no-initrd.iso", {{"isolinux/vmlinuz", "k"}});
  MakeIso(temp / "clonezilla-no-boot.iso", {{"live/vmlinuz", "k"}, {"live/initrd.img", "i"},
                                             {"live/filesystem.squashfs", "s"}});
  MakeBootableIso(temp / "clonezilla-no-live.iso", {{"live/vmlinuz", "k"}, {"live/initrd.img", "i"}});
  // An Ubuntu image cut off inside its live file system, as an interrupted download.
  const std::string ubuntu =
      make("ubuntu.iso", 5, {{"casper/filesystem.squashfs", std::string(300000, 's')}});
  const std::string cut_ubuntu = Cut(ubuntu, std::filesystem::file_size(ubuntu) - 100000);

  struct TCase {
    std::string image;
    int code;
    std::string problem;  // empty: it boots
  };
  const TCase cases[] = {
      // What every type needs: a whole CD image.
      {temp / "missing.iso", 6, "The image cannot be read"},
      {temp / "empty.iso", 2, "The image file is empty"},
      {temp / "noise.iso", 6, "The image is not a CD or DVD image: it has no ISO 9660 or UDF file system"},
      {temp / "noise.iso", 5, "The image is not a CD or DVD image: it has no ISO 9660 or UDF file system"},
      {cut_ubuntu, 5,
       "The image is cut off: its file system spans " + std::to_string(std::filesystem::file_size(ubuntu)) +
           " bytes, the file holds " + std::to_string(std::filesystem::file_size(cut_ubuntu))},
      // The CD types start the image's own boot loader.
      {temp / "plain.iso", 6, "The image has no El Torito boot record: it does not start as a CD"},
      {temp / "plain.iso", 8, "The image has no El Torito boot record: it does not start as a CD"},
      {make("hbcd.iso", 6), 6, ""},
      {make("hbcd.iso", 7), 7, ""},
      {temp / "clonezilla-no-boot.iso", 9, "The image has no El Torito boot record: it does not start as a CD"},
      {temp / "clonezilla-no-live.iso", 9,
       "The image has no live/filesystem.squashfs (the live system's file system)"},
      {make("clonezilla.iso", 9), 9, ""},
      // Windows setup.
      {temp / "no-wim.iso", 2,
       "The image has no sources/boot.wim (Windows setup's boot image; it is no Windows "
       "installation image)"},
      {temp / "plain.iso", 0,
       "The image has no sources/boot.wim (Windows setup's boot image; it is no Windows "
       "installation image)"},
      {temp / "no-install.iso", 1,
       "The image has no sources/install.wim or sources/install.esd or sources/install.swm (the "
       "Windows image that setup installs)"},
      {temp / "esd.iso", 1, ""},
      {make("win10.iso", 2), 2, ""},
      {temp / "win7.vhd", 0, ""},
      {temp / "fake.VHD", 0, "The image is not a virtual hard disk (VHD): it has no VHD footer"},
      // The Linux types: kernel, initrd, live file system.
      {temp / "ubuntu-no-live.iso", 5, "The image has no casper/*.squashfs (Ubuntu's live file system)"},
      {temp / "ubuntu-no-initrd.iso", 5,
       "Ubuntu initrd file not found on ISO (casper/initrd.lz, casper/initrd.gz, casper/initrd, "
       "casper/initrd.img or casper/initrd.lz4)"},
      {temp / "plain.iso", 5,
       "Ubuntu kernel file not found on ISO (casper/vmlinuz.efi or casper/vmlinuz)"},
      {ubuntu, 5, ""},
      {temp / "krd-no-live.iso", 3,
       "The image has no rescue/LiveOS/squashfs.img (the rescue disk's live file system)"},
      {make("krd.iso", 3), 3, ""},
      {temp / "avg-no-initrd.iso", 4, "The image has no isolinux/initrd.lzm (the rescue disk's initrd)"},
      {make("avg.iso", 4), 4, ""},
      // No loader: nothing to check.
      {temp / "noise.iso", 10, ""},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(ImageBootProblem(c.image, c.code), c.problem)
        << std::filesystem::path(c.image).filename() << " as type " << c.code;
}

TEST(ImageCheck, TheCopyMustBeWholeAndStillBoot) {
  TTempDir temp;
  MakeLoaderImage(temp / "ubuntu.iso", 5, {{"casper/filesystem.squashfs", std::string(300000, 's')}});
  const std::string image = temp / "ubuntu.iso";
  const auto size = std::filesystem::file_size(image);
  std::filesystem::copy_file(image, temp / "whole.iso");
  EXPECT_EQ(CopiedImageProblem(image, temp / "whole.iso", 5), "");
  std::filesystem::copy_file(image, temp / "short.iso");
  std::filesystem::resize_file(temp / "short.iso", size - 4096);
  EXPECT_EQ(CopiedImageProblem(image, temp / "short.iso", 5),
            "The copy on the USB drive is not whole: it holds " + std::to_string(size - 4096) +
                " of " + std::to_string(size) + " bytes");
  EXPECT_EQ(CopiedImageProblem(image, temp / "gone.iso", 5),
            "The copy on the USB drive is not whole: it holds -1 of " + std::to_string(size) +
                " bytes");
  // Same size, but its descriptors overwritten.
  std::string bytes = ReadFile(image);
  bytes.replace(16 * 2048, 2048, std::string(2048, 'x'));
  WriteFile(temp / "damaged.iso", bytes);
  EXPECT_EQ(CopiedImageProblem(image, temp / "damaged.iso", 5),
            "The copy on the USB drive cannot boot: the image is not a CD or DVD image: it has "
            "no ISO 9660 or UDF file system");
}

// Descriptors as they lie from sector 16 on.
std::string Descriptor(int type, const std::string& id, const std::string& rest = "") {
  std::string d(2048, '\0');
  d[0] = static_cast<char>(type);
  d.replace(1, 5, id);
  d[6] = 1;
  d.replace(7, rest.size(), rest);
  return d;
}

TEST(CdImageFacts, DescriptorsOfIsoUdfAndElTorito) {
  std::string pvd = Descriptor(1, "CD001");
  pvd[80] = 0x10;  // 0x10 blocks ...
  pvd[128] = 0x00;
  pvd[129] = 0x08;  // ... of 2048 bytes
  const std::string boot = Descriptor(0, "CD001", "EL TORITO SPECIFICATION");
  const std::string end = Descriptor(255, "CD001");
  const std::string udf = Descriptor(0, "BEA01") + Descriptor(0, "NSR03") + Descriptor(0, "TEA01");
  struct TCase {
    const char* what;
    std::string bytes;
    bool iso, udf, el_torito;
    std::int64_t volume;
  };
  const TCase cases[] = {
      {"ISO 9660 with El Torito", pvd + boot + end, true, false, true, 0x10 * 2048},
      {"ISO 9660 alone", pvd + end, true, false, false, 0x10 * 2048},
      {"UDF bridge", pvd + boot + end + udf, true, true, true, 0x10 * 2048},
      {"UDF alone", udf, false, true, false, -1},
      {"a boot record past the terminator", pvd + end + boot, true, false, false, 0x10 * 2048},
      {"another boot system's record", pvd + Descriptor(0, "CD001", "SOME OTHER SYSTEM") + end, true,
       false, false, 0x10 * 2048},
      {"nothing", std::string(8192, '\0'), false, false, false, -1},
      {"cut off inside the first descriptor", pvd.substr(0, 1000), false, false, false, -1},
  };
  for (const TCase& c : cases) {
    const TCdImageFacts f = CdImageFacts(c.bytes);
    EXPECT_EQ(f.Iso9660, c.iso) << c.what;
    EXPECT_EQ(f.Udf, c.udf) << c.what;
    EXPECT_EQ(f.ElTorito, c.el_torito) << c.what;
    EXPECT_EQ(f.VolumeBytes, c.volume) << c.what;
  }
}

}  // namespace
}  // namespace quorvane::testing
