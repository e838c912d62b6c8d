// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/iso_images.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "common/tool_runner.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

namespace {

void Make(const std::string& iso, const std::map<std::string, std::string>& files,
          bool bootable) {
  const std::string tree = iso + ".tree";
  std::filesystem::remove_all(tree);
  std::filesystem::create_directories(tree);
  for (const auto& [path, content] : files) WriteFile(tree + "/" + path, content);
  std::vector<std::string> args{"-as", "mkisofs", "-quiet", "-R", "-J", "-o", iso};
  if (bootable) {
    if (!files.count("boot/boot.img")) WriteFile(tree + "/boot/boot.img", std::string(2048, 'b'));
    args.insert(args.end(), {"-b", "boot/boot.img", "-c", "boot/boot.cat", "-no-emul-boot",
                             "-boot-load-size", "4"});
  }
  args.push_back(tree);
  TSystemToolRunner runner;
  const TToolResult r = runner.Run({"xorriso", args, ""});
  ASSERT_TRUE(r.Succeeded()) << r.ErrorText();
  std::filesystem::remove_all(tree);
}

}  // namespace

void MakeIso(const std::string& iso, const std::map<std::string, std::string>& files) {
  Make(iso, files, false);
}

void MakeBootableIso(const std::string& iso, const std::map<std::string, std::string>& files) {
  Make(iso, files, true);
}

namespace {

// The files of loader type `code`'s image; whether it starts as a CD.
std::map<std::string, std::string> LoaderFiles(int code, bool& bootable) {
  std::map<std::string, std::string> files;
  bootable = false;
  switch (code) {
    case 0:
    case 1:
    case 2:
      files = {{"setup.exe", "MZ setup"}, {"sources/boot.wim", "MSWIM boot"},
               {"sources/install.wim", "MSWIM install"}};
      break;
    case 3:
      files = {{"boot/rescue", "kernel"}, {"boot/rescue.igz", "initrd"},
               {"rescue/LiveOS/squashfs.img", "hsqs live"}};
      break;
    case 4:
      files = {{"isolinux/vmlinuz", "kernel"}, {"isolinux/initrd.lzm", "initrd"}};
      break;
    case 5:
      files = {{"casper/vmlinuz", "kernel"}, {"casper/initrd", "initrd"},
               {"casper/filesystem.squashfs", "hsqs live"}};
      break;
    case 9:
      files = {{"live/vmlinuz", "kernel"}, {"live/initrd.img", "initrd"},
               {"live/filesystem.squashfs", "hsqs live"}};
      bootable = true;
      break;
    default:
      files = {{"README.TXT", "a rescue CD"}};
      bootable = true;
      break;
  }
  return files;
}

}  // namespace

void MakeLoaderImage(const std::string& iso, int code,
                     const std::map<std::string, std::string>& extra) {
  bool bootable = false;
  std::map<std::string, std::string> files;
  if (code >= 0) {
    files = LoaderFiles(code, bootable);
  } else {
    for (int c = 0; c < 10; ++c) {
      bool cd = false;
      files.merge(LoaderFiles(c, cd));
    }
    bootable = true;
  }
  for (const auto& [path, content] : extra) files[path] = content;
  Make(iso, files, bootable);
}

}  // namespace quorvane::testing
