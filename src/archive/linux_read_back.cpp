// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Reading back on Linux: O_DIRECT with an aligned buffer; where the file system refuses it
// (FUSE drivers such as ntfs-3g, tmpfs), fsync and POSIX_FADV_DONTNEED so that the reads
// reach the driver rather than the page cache; under a FUSE driver of a block device, the
// device's cached pages are dropped as well.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>

#include "archive/read_back.h"
#include "common/text.h"
#include "drive/fuse_block_flush.h"

namespace quorvane {
namespace {

constexpr std::size_t kReadBackBlock = 4u << 20;
constexpr std::size_t kAlignment = 4096;
constexpr std::uint64_t kToTheEnd = std::numeric_limits<std::uint64_t>::max();

struct TFd {
  int Fd = -1;
  ~TFd() {
    if (Fd >= 0) ::close(Fd);
  }
};

TReadBackOutcome Failure(int error) {
  TReadBackOutcome outcome;
  outcome.State = error == ENOENT ? TReadBackOutcome::Missing : TReadBackOutcome::Failed;
  outcome.Error = SystemErrorText(error);
  return outcome;
}

// Opens `path` for reading, with O_DIRECT where it is allowed and `direct` asks for it
// (`direct` then tells whether it was).
int OpenForReadBack(const std::string& path, int flags, bool& direct) {
  int fd = -1;
  if (direct) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags | O_DIRECT);
  if (!direct || (fd < 0 && errno == EINVAL)) {
    direct = false;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  }
  return fd;
}

// Reads `size` bytes of `fd` from `start` on (kToTheEnd: up to its end) piece by piece,
// handing each to `block` with its place counted from `start`. With `direct`, `start` is
// aligned and every read is of whole aligned blocks.
TReadBackOutcome ReadPieces(int fd, bool direct, std::uint64_t start, std::uint64_t size,
                            const TReadBackBlock& block, const std::atomic<bool>* cancel) {
  TReadBackOutcome outcome;
  std::unique_ptr<char, decltype(&std::free)> buffer(
      static_cast<char*>(std::aligned_alloc(kAlignment, kReadBackBlock)), &std::free);
  if (!buffer) return Failure(ENOMEM);
  std::uint64_t offset = 0;
  while (offset < size) {
    if (cancel && cancel->load()) {
      outcome.State = TReadBackOutcome::Cancelled;
      return outcome;
    }
    const std::uint64_t left = size - offset;
    // What this piece holds of the range, and what is read for it: whole aligned blocks.
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBackBlock, left));
    const std::size_t asked = direct ? (wanted + kAlignment - 1) / kAlignment * kAlignment : wanted;
    std::size_t filled = 0;
    while (filled < asked) {
      const ssize_t got = ::pread(fd, buffer.get() + filled, asked - filled,
                                  static_cast<off_t>(start + offset + filled));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Failure(errno);
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
      if (direct && filled % kAlignment != 0) break;  // past the end
    }
    filled = std::min(filled, wanted);
    if (filled == 0) break;
    if (!block(buffer.get(), filled, offset)) {
      outcome.State = TReadBackOutcome::Cancelled;
      return outcome;
    }
    offset += filled;
    if (filled < wanted) break;
  }
  outcome.State = TReadBackOutcome::Read;
  return outcome;
}

}  // namespace

TReadBackOutcome ReadBackFile(const std::string& path, const TReadBackBlock& block,
                              const std::atomic<bool>* cancel) {
  TFd file;
  bool direct = true;
  file.Fd = OpenForReadBack(path, O_NOFOLLOW, direct);
  if (file.Fd < 0) return Failure(errno);
  struct stat st {};
  if (::fstat(file.Fd, &st) != 0) return Failure(errno);
  if (!S_ISREG(st.st_mode)) return Failure(EINVAL);
  if (!direct) {
    ::fsync(file.Fd);  // a read-only descriptor may not flush: the drop is what counts
    ::posix_fadvise(file.Fd, 0, 0, POSIX_FADV_DONTNEED);
  }
  // A FUSE driver (ntfs-3g) reads the device through the device's own page cache, which
  // may still hold what was written: that is dropped too, so the driver reads the disk.
  if (std::string error; !DropFuseBlockDeviceCache(file.Fd, error)) {
    TReadBackOutcome outcome;
    outcome.Error = error;
    return outcome;
  }
  const TReadBackOutcome outcome = ReadPieces(file.Fd, direct, 0, kToTheEnd, block, cancel);
  if (!direct) ::posix_fadvise(file.Fd, 0, 0, POSIX_FADV_DONTNEED);
  return outcome;
}

TReadBackOutcome ReadBackDeviceRange(const std::string& device, std::uint64_t offset,
                                     std::uint64_t size, const TReadBackBlock& block,
                                     const std::atomic<bool>* cancel) {
  TFd node;
  // O_DIRECT reads at aligned places only; a run of clusters starts at one.
  bool direct = offset % kAlignment == 0;
  node.Fd = OpenForReadBack(device, O_NOCTTY, direct);
  if (node.Fd < 0) return Failure(errno);
  struct stat st {};
  if (::fstat(node.Fd, &st) != 0) return Failure(errno);
  if (!S_ISBLK(st.st_mode)) return Failure(ENOTBLK);
  // What a driver still holds for the device goes to the disk before it is read there.
  if (::fsync(node.Fd) != 0) return Failure(errno);
  if (!direct) ::posix_fadvise(node.Fd, static_cast<off_t>(offset), static_cast<off_t>(size), POSIX_FADV_DONTNEED);
  return ReadPieces(node.Fd, direct, offset, size, block, cancel);
}

}  // namespace quorvane
