// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The space an image needs on the drive, for the loaders that look inside the image.
#include <gtest/gtest.h>

#include "archive/file_operations.h"
#include "fixtures.h"
#include "loaders/loader_catalog.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::MakeIso;
using testing::MakeTree;
using testing::TTempDir;
using testing::WriteFile;

TEST(NecessarySpace, RescueDiskAndUbuntuCountWhatIsInsideTheImage) {
  TTempDir temp;
  MakeTree(temp / "full", {{"casper/vmlinuz", std::string(1000, 'k')},
                           {"casper/vmlinuz.efi", std::string(2000, 'e')},
                           {"casper/initrd.lz", std::string(300, 'i')},
                           {"casper/filesystem.squashfs", std::string(50000, 's')},
                           {"empty/", ""}});
  MakeTree(temp / "efi", {{"casper/vmlinuz.efi", std::string(2000, 'e')},
                          {"casper/initrd.lz", std::string(300, 'i')},
                          {"README", std::string(10, 'r')}});
  MakeTree(temp / "current", {{"casper/vmlinuz", std::string(1000, 'k')},
                              {"casper/initrd", std::string(400, 'i')},
                              {"casper/initrd.img.bak", std::string(70, 'b')}});
  MakeTree(temp / "other", {{"boot/kernel", std::string(4000, 'x')}});
  for (bool joliet : {true, false}) {
    SCOPED_TRACE(joliet ? "Joliet" : "Rock Ridge only");
    MakeIso(temp / "full", temp / "full.iso", joliet);
    MakeIso(temp / "efi", temp / "efi.iso", joliet);
    MakeIso(temp / "current", temp / "current.iso", joliet);
    MakeIso(temp / "other", temp / "other.iso", joliet);
    WriteFile(temp / "noise.iso", std::string(90000, 'n'));
    const auto size = [&](const char* name) { return FileSize64(temp / name); };
    struct TCase {
      const char* image;
      int type;
      std::int64_t needed;
    };
    const TCase cases[] = {
        // Kaspersky: the files inside, not the image itself; nothing readable counts 0.
        {"full.iso", LoaderKaspersky, 1000 + 2000 + 300 + 50000},
        {"efi.iso", LoaderKaspersky, 2000 + 300 + 10},
        {"noise.iso", LoaderKaspersky, 0},
        {"missing.iso", LoaderKaspersky, 0},
        // Ubuntu: the image, plus the kernel and initrd taken out beside it (vmlinuz.efi
        // before vmlinuz; initrd.lz, initrd.gz, initrd, ...).
        {"full.iso", LoaderUbuntu, size("full.iso") + 2000 + 300},
        {"current.iso", LoaderUbuntu, size("current.iso") + 1000 + 400},
        {"efi.iso", LoaderUbuntu, size("efi.iso") + 2000 + 300},
        {"other.iso", LoaderUbuntu, size("other.iso")},
        {"noise.iso", LoaderUbuntu, 90000},
        {"missing.iso", LoaderUbuntu, 0},
        // The others: the image alone.
        {"full.iso", LoaderAVG, size("full.iso")},
    };
    for (const TCase& c : cases)
      EXPECT_EQ(GetNecessarySpace(temp / c.image, c.type), c.needed) << c.image << " type " << c.type;
  }
}

}  // namespace
}  // namespace quorvane
