// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What the volume descriptors of an image tell (ISO 9660 and UDF, El Torito boot record,
// the size its file system spans), read from the sectors that follow its first 32 KiB.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

struct TCdImageFacts {
  bool Iso9660 = false;         // a primary volume descriptor
  bool Udf = false;             // a UDF volume recognition sequence
  bool ElTorito = false;        // an El Torito boot record
  std::int64_t VolumeBytes = -1;  // what the ISO 9660 volume spans; -1 when unknown
};

// Offset of the first volume descriptor in an image (sector 16 of 2048 bytes).
inline constexpr std::int64_t kVolumeDescriptorsAt = 16 * 2048;

// From the bytes of an image that start at kVolumeDescriptorsAt (as many as were read).
TCdImageFacts CdImageFacts(const std::string& descriptors);

// The same read from an image file; false (with the reason) when it cannot be read.
bool ReadCdImageFacts(const std::string& image, TCdImageFacts& facts, std::string& error);

}  // namespace quorvane
