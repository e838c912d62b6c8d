// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// File extents on Linux: FIEMAP where the file system offers it; for ntfs-3g the volume's
// record of the file; else FIBMAP block by block (all that FUSE file systems answer).
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "drive/file_extents.h"
#include "drive/linux_ntfs_extents.h"

namespace quorvane {

TContiguity ContiguityOf(const std::vector<TFileExtent>& extents) {
  if (extents.empty()) return TContiguity::Unknown;
  if (extents.front().logical != 0) return TContiguity::Fragmented;
  for (std::size_t i = 1; i < extents.size(); ++i) {
    const TFileExtent& before = extents[i - 1];
    const TFileExtent& piece = extents[i];
    if (piece.logical != before.logical + before.length ||
        piece.physical != before.physical + before.length)
      return TContiguity::Fragmented;
  }
  return TContiguity::Contiguous;
}

namespace {

class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  int get() const { return FFd; }

 private:
  int FFd;
};

// False when the file system has no FIEMAP; `extents` receives the pieces otherwise.
bool ReadFiemap(int fd, std::vector<TFileExtent>& extents, bool& usable) {
  constexpr unsigned kBatch = 256;
  const std::size_t size = sizeof(fiemap) + kBatch * sizeof(fiemap_extent);
  std::unique_ptr<char[]> buffer(new char[size]);
  std::uint64_t start = 0;
  usable = true;
  while (true) {
    auto* map = reinterpret_cast<fiemap*>(buffer.get());
    std::fill(buffer.get(), buffer.get() + size, 0);
    map->fm_start = start;
    map->fm_length = FIEMAP_MAX_OFFSET - start;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kBatch;
    if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) return false;
    if (map->fm_mapped_extents == 0) return true;
    bool last = false;
    for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
      const fiemap_extent& e = map->fm_extents[i];
      // Data whose place on the device is not known or not plain cannot be judged.
      if (e.fe_flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED |
                        FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_NOT_ALIGNED))
        usable = false;
      extents.push_back({e.fe_logical, e.fe_physical, e.fe_length});
      start = e.fe_logical + e.fe_length;
      if (e.fe_flags & FIEMAP_EXTENT_LAST) last = true;
    }
    if (last) return true;
  }
}

// Block by block through FIBMAP; consecutive blocks are merged into pieces.
bool ReadFibmap(int fd, std::vector<TFileExtent>& extents) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  int block_size = 0;
  if (::ioctl(fd, FIGETBSZ, &block_size) != 0 || block_size <= 0) return false;
  const std::uint64_t blocks = (static_cast<std::uint64_t>(info.st_size) + block_size - 1) / block_size;
  for (std::uint64_t i = 0; i < blocks; ++i) {
    int block = static_cast<int>(i);
    if (static_cast<std::uint64_t>(block) != i) return false;  // beyond what FIBMAP can name
    if (::ioctl(fd, FIBMAP, &block) != 0) return false;
    if (block == 0) return false;  // a hole: nothing to map
    const std::uint64_t physical = static_cast<std::uint64_t>(block) * block_size;
    const std::uint64_t logical = i * block_size;
    if (!extents.empty() && extents.back().physical + extents.back().length == physical &&
        extents.back().logical + extents.back().length == logical) {
      extents.back().length += block_size;
    } else {
      extents.push_back({logical, physical, static_cast<std::uint64_t>(block_size)});
    }
  }
  return true;
}

}  // namespace

TContiguity CheckFileContiguous(const std::string& path) {
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return TContiguity::Unknown;
  // The pieces are known only once the data has been placed.
  struct stat info {};
  if (::fsync(fd.get()) != 0 || ::fstat(fd.get(), &info) != 0) return TContiguity::Unknown;
  std::vector<TFileExtent> extents;
  bool usable = true;
  if (ReadFiemap(fd.get(), extents, usable)) {
    return usable ? ContiguityOf(extents) : TContiguity::Unknown;
  }
  // ntfs-3g: its own record of the file in one call instead of a query per block.
  extents.clear();
  if (ReadNtfs3gExtents(info, extents)) return ContiguityOf(extents);
  extents.clear();
  if (ReadFibmap(fd.get(), extents)) return ContiguityOf(extents);
  return TContiguity::Unknown;
}

}  // namespace quorvane
