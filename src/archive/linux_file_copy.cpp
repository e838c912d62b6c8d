// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <mutex>

#include "archive/digest_lane.h"
#include "archive/file_copy.h"
#include "drive/fuse_block_flush.h"

namespace quorvane {

namespace {

// A descriptor closed when the scope ends, unless it was closed (and checked) before.
class TFd {
 public:
  explicit TFd(int fd = -1) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  // Closes now; false with errno set when the system reports an error.
  bool Close() {
    const int fd = FFd;
    FFd = -1;
    return ::close(fd) == 0;
  }

 private:
  int FFd;
};

bool IsCopyRangeUnsupported(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP || error == EBADF || error == ETXTBSY;
}

// Reserves `size` bytes for the file, so that the drive gives it one run of clusters
// where it can. File systems without reservation (FUSE ones) just copy.
bool Reserve(int fd, off_t size, int& error) {
  if (size == 0) return true;
  if (::fallocate(fd, 0, 0, size) == 0) return true;
  if (errno == EOPNOTSUPP || errno == ENOSYS) {
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0) return true;
    if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) return true;
  }
  error = errno;
  return false;
}

// Buffers of a copy through user space: the copy may run this many chunks ahead of the
// SHA-256 of what it wrote.
constexpr std::size_t kCopySlots = 4;

// The copy of one file, chunk by chunk.
class TCopyLoop {
 public:
  TCopyLoop(int in, int out, off_t size, TCopyProgressRoutine routine, void* data,
            TWriteDigest* digest)
      : FIn(in), FOut(out), FSize(size), FRoutine(routine), FData(data), FDigest(digest),
        FUseCopyRange(digest == nullptr) {}

  // Copied, Cancelled (with FKeepTarget when the routine stopped) or Failed.
  TCopyOutcome Run() {
    TCopyOutcome outcome = RunChunks();
    // The digest is complete once the copy is: the caller reads it next.
    if (FLane && !FLane->Drain() && outcome.State == TCopyOutcome::Copied)
      outcome = {TCopyOutcome::Failed, EIO};
    return outcome;
  }

  bool KeepTarget() const { return FKeepTarget; }

 private:
  TCopyOutcome RunChunks() {
    ::posix_fadvise(FIn, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (Report(0, CALLBACK_STREAM_SWITCH) != PROGRESS_CONTINUE) return Stopped();
    off_t done = 0;
    if (FSize == 0 && Report(0, CALLBACK_CHUNK_FINISHED) != PROGRESS_CONTINUE) return Stopped();
    while (done < FSize) {
      const std::size_t length = static_cast<std::size_t>(
          std::min<off_t>(static_cast<off_t>(kCopyChunkSize), FSize - done));
      if (!CopyChunk(done, length)) return {TCopyOutcome::Failed, FError};
      done += static_cast<off_t>(length);
      if (!PaceWriteback(done)) return {TCopyOutcome::Failed, FError};
      const std::uint32_t answer = Report(done, CALLBACK_CHUNK_FINISHED);
      if (answer == PROGRESS_QUIET) FRoutine = nullptr;
      else if (answer != PROGRESS_CONTINUE) return Stopped(answer);
    }
    return {TCopyOutcome::Copied, 0};
  }

  std::uint32_t Report(off_t done, std::uint32_t reason) {
    if (!FRoutine) return PROGRESS_CONTINUE;
    return FRoutine(FSize, done, FSize, done, 1, reason, FIn, FOut, FData);
  }

  TCopyOutcome Stopped(std::uint32_t answer = PROGRESS_CANCEL) {
    FKeepTarget = answer == PROGRESS_STOP;
    return {TCopyOutcome::Cancelled, 0};
  }

  // Copies `length` bytes at `offset`: inside the kernel where the two file systems allow
  // it, else through aligned buffers, whose SHA-256 is taken on a thread of its own while
  // the next ones are copied.
  bool CopyChunk(off_t offset, std::size_t length) {
    std::size_t copied = 0;
    while (FUseCopyRange && copied < length) {
      loff_t in_offset = offset + static_cast<off_t>(copied);
      loff_t out_offset = in_offset;
      const ssize_t count = ::copy_file_range(FIn, &in_offset, FOut, &out_offset, length - copied, 0);
      if (count > 0) {
        copied += static_cast<std::size_t>(count);
      } else if (count == 0) {
        return Fail(EIO);  // the source ended early: it changed while we copied it
      } else if (errno == EINTR) {
        continue;
      } else if (IsCopyRangeUnsupported(errno)) {
        FUseCopyRange = false;
      } else {
        return Fail(errno);
      }
    }
    while (copied < length) {
      if (!FLane) {
        FLane = std::make_unique<TDigestLane>(FDigest, kCopySlots, kCopyChunkSize);
        if (!FLane->Ready()) return Fail(ENOMEM);
      }
      char* buffer = FLane->NextBuffer();
      const off_t at = offset + static_cast<off_t>(copied);
      const ssize_t count = ::pread(FIn, buffer, length - copied, at);
      if (count < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (count == 0) return Fail(EIO);
      FLane->Hand(buffer, static_cast<std::size_t>(count), static_cast<std::uint64_t>(at));
      for (ssize_t written = 0; written < count;) {
        const ssize_t n = ::pwrite(FOut, buffer + written, count - written, at + written);
        if (n < 0) {
          if (errno == EINTR) continue;
          return Fail(errno);
        }
        written += n;
      }
      copied += static_cast<std::size_t>(count);
    }
    return true;
  }

  // Keeps the drive busy and the progress honest: each full window is handed to the
  // drive, and the window before it is waited for and dropped from the page cache.
  bool PaceWriteback(off_t done) {
    if (!FPaceWriteback) return true;
    const off_t window = static_cast<off_t>(kCopyWritebackWindow);
    if (done - FWindowStart < window && done < FSize) return true;
    const off_t length = done - FWindowStart;
    if (::sync_file_range(FOut, FWindowStart, length, SYNC_FILE_RANGE_WRITE) != 0)
      return WritebackFailed(errno);
    if (FWindowStart >= window) {
      const off_t previous = FWindowStart - window;
      const unsigned flags =
          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
      if (::sync_file_range(FOut, previous, window, flags) != 0) return WritebackFailed(errno);
      ::posix_fadvise(FOut, previous, window, POSIX_FADV_DONTNEED);
      ::posix_fadvise(FIn, previous, window, POSIX_FADV_DONTNEED);
    }
    FWindowStart = done;
    return true;
  }

  // File systems that cannot start writeback of a range just wait for the final flush;
  // an error of the drive itself fails the copy.
  bool WritebackFailed(int error) {
    if (error == EINVAL || error == ESPIPE || error == EOPNOTSUPP || error == ENOSYS) {
      FPaceWriteback = false;
      return true;
    }
    return Fail(error);
  }

  bool Fail(int error) {
    FError = error;
    return false;
  }

  int FIn;
  int FOut;
  off_t FSize;
  TCopyProgressRoutine FRoutine;
  void* FData;
  TWriteDigest* FDigest;
  // copy_file_range keeps the bytes inside the kernel: only without a digest to feed.
  bool FUseCopyRange;
  bool FPaceWriteback = true;
  bool FKeepTarget = false;
  off_t FWindowStart = 0;
  int FError = 0;
  std::unique_ptr<TDigestLane> FLane;  // the buffers, made at the first chunk that needs them
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SyncFolderOf(const std::string& path, int& error) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  const char* folder = parent.empty() ? "." : parent.c_str();
  TFd fd(::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.Get() < 0 || ::fsync(fd.Get()) != 0) {
    error = errno;
    return false;
  }
  return true;
}

std::mutex& WriterLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<ILargeFileWriter>& InstalledWriter() {
  static std::shared_ptr<ILargeFileWriter> writer;
  return writer;
}

TCopiedFileHook& InstalledCopiedFileHook() {
  static TCopiedFileHook hook;
  return hook;
}

void RunCopiedFileHook(const std::string& target) {
  TCopiedFileHook hook;
  {
    std::lock_guard<std::mutex> guard(WriterLock());
    hook = InstalledCopiedFileHook();
  }
  if (hook) hook(target);
}

}  // namespace

void SetCopiedFileHook(TCopiedFileHook hook) {
  std::lock_guard<std::mutex> guard(WriterLock());
  InstalledCopiedFileHook() = std::move(hook);
}

void SetLargeFileWriter(std::shared_ptr<ILargeFileWriter> writer) {
  std::lock_guard<std::mutex> guard(WriterLock());
  InstalledWriter() = std::move(writer);
}

std::shared_ptr<ILargeFileWriter> LargeFileWriter() {
  std::lock_guard<std::mutex> guard(WriterLock());
  return InstalledWriter();
}

TCopyOutcome CopyFileContents(const std::string& source, const std::string& target,
                              TCopyProgressRoutine routine, void* data, bool cancel,
                              TWriteDigest* digest) {
  if (cancel) return {TCopyOutcome::Cancelled, 0};
  TFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) return {TCopyOutcome::Failed, errno};
  struct stat source_info {};
  if (::fstat(in.Get(), &source_info) != 0) return {TCopyOutcome::Failed, errno};
  if (S_ISDIR(source_info.st_mode)) return {TCopyOutcome::Failed, EISDIR};
  struct stat target_info {};
  if (::stat(target.c_str(), &target_info) == 0 && SameFile(source_info, target_info))
    return {TCopyOutcome::Failed, EINVAL};  // truncating the target would destroy the source
  if (const std::shared_ptr<ILargeFileWriter> writer = LargeFileWriter();
      writer && static_cast<std::uint64_t>(source_info.st_size) >= kLargeFileSize &&
      ::lstat(target.c_str(), &target_info) != 0 && errno == ENOENT) {
    TCopyOutcome outcome;
    if (writer->Write(in.Get(), static_cast<std::uint64_t>(source_info.st_size), target, routine,
                      data, outcome, digest)) {
      if (outcome.State == TCopyOutcome::Copied) RunCopiedFileHook(target);
      return outcome;
    }
  }

  TFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (out.Get() < 0) return {TCopyOutcome::Failed, errno};
  // From here on the partial target is removed on every way out but success.
  auto give_up = [&](TCopyOutcome outcome, bool keep = false) {
    if (out.Get() >= 0) out.Close();
    // Best effort: on a pulled drive there is nothing left to remove, and the outcome
    // already says what went wrong.
    if (!keep) ::unlink(target.c_str());
    return outcome;
  };

  const off_t size = source_info.st_size;
  int error = 0;
  if (!Reserve(out.Get(), size, error)) return give_up({TCopyOutcome::Failed, error});
  TCopyLoop loop(in.Get(), out.Get(), size, routine, data, digest);
  const TCopyOutcome outcome = loop.Run();
  if (outcome.State != TCopyOutcome::Copied) return give_up(outcome, loop.KeepTarget());
  // Nothing counts as copied before it is on the drive. On ntfs-3g fsync only hands the
  // data to the driver; the device's own flush takes it to the disk.
  if (::fsync(out.Get()) != 0) return give_up({TCopyOutcome::Failed, errno});
  if (std::string flush_error; !FlushFuseBlockDevice(out.Get(), flush_error))
    return give_up({TCopyOutcome::Failed, EIO, flush_error});
  if (!out.Close()) return give_up({TCopyOutcome::Failed, errno});
  if (!SyncFolderOf(target, error)) return give_up({TCopyOutcome::Failed, error});
  RunCopiedFileHook(target);
  return {TCopyOutcome::Copied, 0};
}

}  // namespace quorvane
