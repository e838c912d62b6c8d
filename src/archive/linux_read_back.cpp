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
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

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
// (`direct` then tells whether it was). O_NONBLOCK: a FIFO swapped in for the file must not
// hold the open up; the caller refuses anything but a regular file afterwards.
int OpenForReadBack(const std::string& path, int flags, bool& direct) {
  flags |= O_NONBLOCK;
  int fd = -1;
  if (direct) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags | O_DIRECT);
  if (!direct || (fd < 0 && errno == EINVAL)) {
    direct = false;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  }
  return fd;
}

// One piece read ahead: its bytes, how many, where, and whether the range ends with it.
struct TPiece {
  std::unique_ptr<char, decltype(&std::free)> Bytes{nullptr, &std::free};
  std::size_t Length = 0;
  std::uint64_t Offset = 0;
  int Error = 0;
  bool Last = false;
  bool Filled = false;
};

// Reads the piece of `fd` at `offset` of the range (of `size` bytes from `start`) into
// `piece`.
void ReadPiece(int fd, bool direct, std::uint64_t start, std::uint64_t size,
               std::uint64_t offset, TPiece& piece) {
  // What this piece holds of the range, and what is read for it: whole aligned blocks.
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(kReadBackBlock, size - offset));
  const std::size_t asked = direct ? (wanted + kAlignment - 1) / kAlignment * kAlignment : wanted;
  std::size_t filled = 0;
  piece.Error = 0;
  while (filled < asked) {
    const ssize_t got = ::pread(fd, piece.Bytes.get() + filled, asked - filled,
                                static_cast<off_t>(start + offset + filled));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      piece.Error = errno;
      break;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
    if (direct && filled % kAlignment != 0) break;  // past the end
  }
  piece.Length = std::min(filled, wanted);
  piece.Offset = offset;
  piece.Last = piece.Error != 0 || piece.Length < wanted || offset + piece.Length >= size;
}

// Reads `size` bytes of `fd` from `start` on (kToTheEnd: up to its end) piece by piece,
// handing each to `block` with its place counted from `start`. With `direct`, `start` is
// aligned and every read is of whole aligned blocks. A thread of its own reads the next
// piece while `block` looks at this one, so that the drive is kept busy while the caller
// digests what it read.
TReadBackOutcome ReadPieces(int fd, bool direct, std::uint64_t start, std::uint64_t size,
                            const TReadBackBlock& block, const std::atomic<bool>* cancel) {
  TPiece pieces[2];
  for (TPiece& piece : pieces) {
    piece.Bytes.reset(static_cast<char*>(std::aligned_alloc(kAlignment, kReadBackBlock)));
    if (!piece.Bytes) return Failure(ENOMEM);
  }
  std::mutex lock;
  std::condition_variable changed;
  bool stop = false;
  std::thread reader([&] {
    std::uint64_t offset = 0;
    for (std::size_t i = 0;; ++i) {
      TPiece& piece = pieces[i % 2];
      {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return !piece.Filled || stop; });
        if (stop) return;
      }
      ReadPiece(fd, direct, start, size, offset, piece);
      const bool last = piece.Last;
      offset += piece.Length;
      {
        std::lock_guard<std::mutex> guard(lock);
        piece.Filled = true;
      }
      changed.notify_all();
      if (last) return;
    }
  });
  // The reader ends on every way out, before the pieces go.
  struct TJoin {
    std::mutex& Lock;
    std::condition_variable& Changed;
    bool& Stop;
    std::thread& Reader;
    ~TJoin() {
      {
        std::lock_guard<std::mutex> guard(Lock);
        Stop = true;
      }
      Changed.notify_all();
      Reader.join();
    }
  } join{lock, changed, stop, reader};

  TReadBackOutcome outcome;
  for (std::size_t i = 0;; ++i) {
    TPiece& piece = pieces[i % 2];
    {
      std::unique_lock<std::mutex> guard(lock);
      changed.wait(guard, [&] { return piece.Filled; });
    }
    if (cancel && cancel->load()) {
      outcome.State = TReadBackOutcome::Cancelled;
      return outcome;
    }
    if (piece.Error != 0) return Failure(piece.Error);
    if (piece.Length > 0 && !block(piece.Bytes.get(), piece.Length, piece.Offset)) {
      outcome.State = TReadBackOutcome::Cancelled;
      return outcome;
    }
    const bool last = piece.Last;
    {
      std::lock_guard<std::mutex> guard(lock);
      piece.Filled = false;
    }
    changed.notify_all();
    if (last) break;
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
