// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The check of an entry once it is written: each file read back from the drive past the
// cache and compared with the digest taken while it was written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/written_files.h"

namespace quorvane {

// Called after each piece read with the bytes read back so far and in all; answering false
// stops the check (a cancel).
using TVerifyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Bytes to read back for `files`.
std::uint64_t VerifiedBytes(const std::vector<TWrittenFile>& files);

// Empty when every file reads back as it was written; else why not: "Verification
// failed: FILE differs on USB drive at byte N" with FILE the file's path under `folder`
// (its name where it lies there) and N the first byte that differs: the CRC-32C of each
// 4 MiB piece read back is compared with the one taken while it was written; where they
// differ, N is found exactly by reading the source again where there is one, else it is
// the start of the first piece that differs. (Comparing with the source in the first
// place would read it again from its disk: the copy drops it from the page cache.) A
// stopped check answers empty with `stopped` set.
std::string VerifyWrittenFiles(const std::vector<TWrittenFile>& files, const std::string& folder,
                               const TVerifyProgress& progress, bool& stopped);

}  // namespace quorvane
