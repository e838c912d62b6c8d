// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Reading back on Linux: O_DIRECT with an aligned buffer; where the file system refuses it
// (FUSE drivers such as ntfs-3g, tmpfs), fsync and POSIX_FADV_DONTNEED so that the reads
// reach the driver rather than the page cache; under a FUSE driver of a block device, the
// device's cached pages are dropped as well.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "archive/read_back.h"
#include "common/text.h"
#include "drive/fuse_block_flush.h"

namespace quorvane {
namespace {

constexpr std::size_t kReadBackBlock = 4u << 20;
constexpr std::size_t kAlignment = 4096;

struct TFd {
  int Fd = -1;
  ~TFd() {
    if (Fd >= 0) ::close(Fd);
  }
};

}  // namespace

TReadBackOutcome ReadBackFile(const std::string& path, const TReadBackBlock& block,
                              const std::atomic<bool>* cancel) {
  TReadBackOutcome outcome;
  TFd file;
  bool direct = true;
  file.Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_DIRECT);
  if (file.Fd < 0 && errno == EINVAL) {
    direct = false;
    file.Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  }
  if (file.Fd < 0) {
    outcome.State = errno == ENOENT ? TReadBackOutcome::Missing : TReadBackOutcome::Failed;
    outcome.Error = SystemErrorText(errno);
    return outcome;
  }
  struct stat st {};
  if (::fstat(file.Fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    outcome.Error = SystemErrorText(errno != 0 ? errno : EINVAL);
    return outcome;
  }
  if (!direct) {
    ::fsync(file.Fd);  // a read-only descriptor may not flush: the drop is what counts
    ::posix_fadvise(file.Fd, 0, 0, POSIX_FADV_DONTNEED);
  }
  // A FUSE driver (ntfs-3g) reads the device through the device's own page cache, which
  // may still hold what was written: that is dropped too, so the driver reads the disk.
  if (std::string error; !DropFuseBlockDeviceCache(file.Fd, error)) {
    outcome.Error = error;
    return outcome;
  }
  std::unique_ptr<char, decltype(&std::free)> buffer(
      static_cast<char*>(std::aligned_alloc(kAlignment, kReadBackBlock)), &std::free);
  if (!buffer) {
    outcome.Error = SystemErrorText(ENOMEM);
    return outcome;
  }
  std::uint64_t offset = 0;
  for (;;) {
    if (cancel && cancel->load()) {
      outcome.State = TReadBackOutcome::Cancelled;
      return outcome;
    }
    std::size_t filled = 0;
    // O_DIRECT reads whole aligned blocks; the file's end gives a short one.
    while (filled < kReadBackBlock) {
      const ssize_t got = ::pread(file.Fd, buffer.get() + filled, kReadBackBlock - filled,
                                  static_cast<off_t>(offset + filled));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        outcome.Error = SystemErrorText(errno);
        return outcome;
      }
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
      if (direct && filled % kAlignment != 0) break;  // past the end
    }
    if (filled == 0) break;
    if (!block(buffer.get(), filled, offset)) {
      outcome.State = TReadBackOutcome::Cancelled;
      return outcome;
    }
    offset += filled;
    if (filled < kReadBackBlock) break;
  }
  if (!direct) ::posix_fadvise(file.Fd, 0, 0, POSIX_FADV_DONTNEED);
  outcome.State = TReadBackOutcome::Read;
  return outcome;
}

}  // namespace quorvane
