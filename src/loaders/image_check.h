// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whether an image is what its loader needs to boot: an ISO 9660 or UDF image, whole,
// with an El Torito boot record for the CD types, Windows setup's sources/boot.wim and
// install image, the kernel, initrd and live file system of the Linux types. The front
// ends ask before a burn, each entry before its copy and again of the copy on the drive.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// Why `image` cannot boot as loader type `code`, naming what is missing ("The image has
// no sources/boot.wim (...)"); empty when it holds what its loader needs, and for a type
// outside 0..9.
std::string ImageBootProblem(const std::string& image, std::int32_t code);

// Why the copy `copy` on the drive of the image `image` is not whole (its size, or what
// its loader needs no longer being there); empty when it is.
std::string CopiedImageProblem(const std::string& image, const std::string& copy,
                               std::int32_t code);

}  // namespace quorvane
