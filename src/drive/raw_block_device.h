// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A whole disk read and written by byte offset past the system's caches, for checks that
// must see what the medium itself holds; and the opening of a drive's disk that way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quorvane {

// Buffers handed to a raw device start at a multiple of this.
inline constexpr std::size_t kRawBufferAlignment = 4096;

// The outcome of one transfer.
enum class TRawIo {
  Ok,
  BadBlock,  // the medium refused these blocks (an I/O error): the disk itself is still there
  Failed,    // the disk cannot be used at all (gone, read-only, refused the request)
};

class IRawBlockDevice {
 public:
  virtual ~IRawBlockDevice() = default;
  // The size the disk claims, in bytes.
  virtual std::int64_t Size() const = 0;
  // The disk's logical block size: offsets and lengths are multiples of it.
  virtual std::uint32_t BlockSize() const = 0;
  // Whole transfers of `length` bytes at `offset`; `error` tells why one was not Ok.
  virtual TRawIo ReadAt(std::int64_t offset, void* data, std::size_t length,
                        std::string& error) = 0;
  virtual TRawIo WriteAt(std::int64_t offset, const void* data, std::size_t length,
                         std::string& error) = 0;
  // Makes every write so far reach the medium.
  virtual bool Flush(std::string& error) = 0;
};

// Opens a disk node (or an image file standing in for one) for raw access; `dev_number`,
// when not empty, is the "major:minor" the node must still have. A block device is opened
// exclusively, so that nothing mounts it meanwhile. nullptr with the reason in `error`.
std::unique_ptr<IRawBlockDevice> OpenRawBlockDevice(const std::string& node,
                                                    const std::string& dev_number,
                                                    std::string& error);

using TRawDeviceOpener = std::function<std::unique_ptr<IRawBlockDevice>(
    const std::string& node, const std::string& dev_number, std::string& error)>;

}  // namespace quorvane
