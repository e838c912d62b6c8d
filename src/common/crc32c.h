// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// CRC-32C (Castagnoli) of bytes fed piece by piece: the processor's own instruction where
// it has one (SSE 4.2), else a table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

// The CRC of `length` more bytes after `crc` (0 to start).
std::uint32_t Crc32c(std::uint32_t crc, const void* bytes, std::size_t length);

}  // namespace quorvane
