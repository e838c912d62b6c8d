// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whether a file's data lies in one run of consecutive sectors on its device, as
// GRUB4DOS needs for an image that it maps in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

enum class TContiguity { Contiguous, Fragmented, Unknown };

// One piece of a file: where it lies in the file and on the device, in bytes.
struct TFileExtent {
  std::uint64_t logical = 0;
  std::uint64_t physical = 0;
  std::uint64_t length = 0;
};

// Contiguous when every piece starts on the device where the one before it ended and the
// pieces cover the file from its start; Unknown without any piece.
TContiguity ContiguityOf(const std::vector<TFileExtent>& extents);

// Reads the file's pieces from the file system (after flushing it) and judges them;
// Unknown when the file system cannot tell.
TContiguity CheckFileContiguous(const std::string& path);

}  // namespace quorvane
