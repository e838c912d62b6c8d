// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Tests that write GRUB4DOS's boot code need its published images in the resource folder;
// the build copies them there from QUORVANE_GRUB4DOS_DIR.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/resources.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

inline bool Grub4DosImagesPresent() {
  return Exists(ResourcePath("grldr")) && Exists(ResourcePath("grldr.mbr"));
}

// Why a test that needs the images cannot run; empty when they are there.
inline std::string Grub4DosImagesMissing() {
  if (Grub4DosImagesPresent()) return {};
  return "GRUB4DOS's grldr and grldr.mbr are not in the resource folder " + ResourceDir() +
         ": configure the build with -DQUORVANE_GRUB4DOS_DIR=<folder holding them>";
}

}  // namespace quorvane::testing

// Skips the test, saying why, when the images are missing.
#define QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES()                                      \
  if (const std::string quorvane_why = ::quorvane::testing::Grub4DosImagesMissing(); \
      !quorvane_why.empty())                                                         \
  GTEST_SKIP() << quorvane_why
