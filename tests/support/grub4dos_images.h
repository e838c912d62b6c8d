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

}  // namespace quorvane::testing

// Skips the test, saying why, when the images are missing.
#define QUORVANE_SKIP_WITHOUT_GRUB4DOS_IMAGES()                                               \
  if (!::quorvane::testing::Grub4DosImagesPresent())                                          \
  GTEST_SKIP() << "GRUB4DOS's grldr and grldr.mbr are not in the resource folder "            \
               << ::quorvane::ResourceDir()                                                   \
               << ": configure the build with -DQUORVANE_GRUB4DOS_DIR=<folder holding them>"
