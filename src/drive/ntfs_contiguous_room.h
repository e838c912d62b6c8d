// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whether an image that must lie in one piece finds a free run on the NTFS volume where
// it is to go, asked before anything of it is copied.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// The device node of the NTFS volume mounted where `path` lies (through ntfs-3g or the
// kernel's driver); empty when it lies on no NTFS volume mounted from a block device.
std::string NtfsDeviceOfPath(const std::string& path);

// The refusal ("Not enough contiguous free space on USB drive for ...") of `image` of
// `size` bytes that is to go to `target` on an NTFS volume none of whose free runs holds
// it; empty when one does, and when the volume is not NTFS or cannot be read (the copy's
// own check of the pieces then stands).
std::string ContiguousRoomProblem(const std::string& target, std::uint64_t size,
                                  const std::string& image);

}  // namespace quorvane
