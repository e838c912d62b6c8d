// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The pieces of a file on an NTFS volume mounted through ntfs-3g, read in one call from
// the volume's own record of the file (ntfsinfo), where FUSE answers only one block per
// query.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drive/file_extents.h"

namespace quorvane {

// The unnamed data stream's runs in ntfsinfo's verbose dump of one file, in bytes. False
// when the dump describes no such stream whose size is `file_size` and whose clusters all
// lie on the volume (a resident, sparse or compressed stream, or a dump cut short).
bool ParseNtfsInfoDataRuns(const std::string& output, std::uint64_t file_size,
                           std::vector<TFileExtent>& extents);

// The pieces of the open file `fd` (whose status is `info`) when it lies on a volume that
// ntfs-3g has mounted from a block device; false when it does not or they cannot be read.
bool ReadNtfs3gExtents(const struct stat& info, std::vector<TFileExtent>& extents);

}  // namespace quorvane
