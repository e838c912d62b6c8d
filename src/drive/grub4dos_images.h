// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// GRUB4DOS's published boot images, which the program writes byte for byte but does not
// carry: the pinned release, whether the images are in place, what to tell a person when
// they are not, and their installation from the release's zip file or a folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/sha256.h"

namespace quorvane {

struct TPinnedImage {
  const char* Name;
  std::uint64_t Size;
  const char* Sha256;  // lower-case hexadecimal
};

// GRUB4DOS 0.4.6a, build 2019-12-24.
inline constexpr TPinnedImage kGrub4DosImages[] = {
    {"grldr.mbr", 8192, "f5c6e8e2c1eb7380285fa9cb1c9168e92d5b3b55cde052c043ba81ed17b9acef"},
    {"grldr", 332117, "c39986c9d1a2cfb774636fbf4bf01319a6955138af8d5c974e1f3b1c6024f7b3"},
};

// Where the release is published.
inline constexpr const char* kGrub4DosReleases = "https://github.com/chenall/grub4dos/releases";

// Empty when both images are where the program looks for them; else one paragraph that
// says how to install them.
std::string Grub4DosImagesMissingMessage();

// Takes the images from `from` (a folder holding them, directly or in one sub-folder, or
// a zip file holding them, at its top or in one folder), checks each against `pinned`
// (size and SHA-256) and installs them into `to` (created when missing; a symbolic link
// there is refused), replacing older ones only once both are checked. False with the
// reason in `error`; when a check fails nothing is changed.
bool InstallGrub4DosImages(const std::string& from, const std::string& to, std::string& error,
                           std::span<const TPinnedImage> pinned = kGrub4DosImages);

}  // namespace quorvane
