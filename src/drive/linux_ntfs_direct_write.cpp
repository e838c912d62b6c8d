// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/linux_ntfs_direct_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive/digest_lane.h"
#include "archive/file_operations.h"
#include "common/text.h"
#include "drive/ntfs_volume.h"

namespace quorvane {

namespace {

// O_DIRECT needs the length and the offset aligned to the device's logical block; a page
// covers every block size in use.
constexpr std::size_t kAlignment = 4096;

// Buffers in the ring: the write may run this many blocks ahead of the SHA-256, so that
// neither waits for the other at every block.
constexpr std::size_t kDirectWriteSlots = 3;

// The write of the data to its run, block by block.
class TBlockWriter {
 public:
  TBlockWriter(int in, int device, const TNtfsPlacedFile& placed, TCopyProgressRoutine routine,
               void* data, TWriteDigest* digest)
      : FIn(in), FDevice(device), FPlaced(placed), FRoutine(routine), FData(data),
        FDigest(digest) {}

  // Copied (flushed to the device), Cancelled (FKeep when the routine stopped) or Failed.
  TCopyOutcome Run() {
    // The pieces' sums are taken here, between the read and the write; the SHA-256 on the
    // lane's thread, while the next blocks are read and written.
    TDigestLane lane(FDigest, kDirectWriteSlots, kDirectWriteBlock);
    if (!lane.Ready()) return {TCopyOutcome::Failed, ENOMEM};
    ::posix_fadvise(FIn, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (Report(0, CALLBACK_STREAM_SWITCH) != PROGRESS_CONTINUE) return Stopped(PROGRESS_CANCEL);
    const std::uint64_t size = FPlaced.Size;
    for (std::uint64_t done = 0; done < size;) {
      char* buffer = lane.NextBuffer();
      const std::size_t length =
          static_cast<std::size_t>(std::min<std::uint64_t>(kDirectWriteBlock, size - done));
      if (!ReadFully(buffer, length, done)) return {TCopyOutcome::Failed, FError};
      // The last block is padded with zeros to whole device blocks; the padding lies inside
      // the file's last cluster, beyond its data size.
      const std::size_t padded = (length + kAlignment - 1) / kAlignment * kAlignment;
      std::memset(buffer + length, 0, padded - length);
      lane.Hand(buffer, length, done);
      if (!WriteFully(buffer, padded, FPlaced.Offset() + done)) return {TCopyOutcome::Failed, FError};
      ::posix_fadvise(FIn, static_cast<off_t>(done), static_cast<off_t>(length), POSIX_FADV_DONTNEED);
      done += length;
      // The end is reported once the device has flushed it, not before.
      if (done == size) break;
      const std::uint32_t answer = Report(done, CALLBACK_CHUNK_FINISHED);
      if (answer == PROGRESS_QUIET) FRoutine = nullptr;
      else if (answer != PROGRESS_CONTINUE) return Stopped(answer);
    }
    if (!lane.Drain()) return {TCopyOutcome::Failed, EIO};
    // O_DIRECT has handed every block to the device; this empties the device's own cache.
    if (::fsync(FDevice) != 0) return {TCopyOutcome::Failed, errno};
    return {TCopyOutcome::Copied, 0};
  }

  // The last report, once the file is complete on the volume.
  std::uint32_t ReportEnd() { return Report(FPlaced.Size, CALLBACK_CHUNK_FINISHED); }

  bool Keep() const { return FKeep; }

 private:
  std::uint32_t Report(std::uint64_t done, std::uint32_t reason) {
    if (!FRoutine) return PROGRESS_CONTINUE;
    const auto size = static_cast<std::int64_t>(FPlaced.Size);
    const auto at = static_cast<std::int64_t>(done);
    return FRoutine(size, at, size, at, 1, reason, FIn, FDevice, FData);
  }

  TCopyOutcome Stopped(std::uint32_t answer) {
    FKeep = answer == PROGRESS_STOP;
    return {TCopyOutcome::Cancelled, 0};
  }

  bool ReadFully(char* buffer, std::size_t length, std::uint64_t at) {
    for (std::size_t got = 0; got < length;) {
      const ssize_t n = ::pread(FIn, buffer + got, length - got, static_cast<off_t>(at + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fail(errno);
      if (n == 0) return Fail(EIO);  // the source ended early: it changed while we copied it
      got += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool WriteFully(const char* buffer, std::size_t length, std::uint64_t at) {
    for (std::size_t put = 0; put < length;) {
      const ssize_t n = ::pwrite(FDevice, buffer + put, length - put, static_cast<off_t>(at + put));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Fail(n < 0 ? errno : EIO);
      put += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Fail(int error) {
    FError = error;
    return false;
  }

  int FIn, FDevice;
  const TNtfsPlacedFile& FPlaced;
  TCopyProgressRoutine FRoutine;
  void* FData;
  TWriteDigest* FDigest;
  bool FKeep = false;
  int FError = 0;
};

TCopyOutcome Failed(const std::string& detail) {
  TCopyOutcome outcome{TCopyOutcome::Failed, EIO};
  outcome.Detail = detail;
  return outcome;
}

}  // namespace

bool TNtfsDirectWriter::Write(int in, std::uint64_t size, const std::string& target,
                              TCopyProgressRoutine routine, void* data, TCopyOutcome& outcome,
                              TWriteDigest* digest) {
  const std::shared_ptr<TUSBDriveLetters> table = FTable.lock();
  if (!table || size == 0) return false;
  TSuspendedMount mount;
  std::string inside, error;
  // ntfs-3g keeps its own copy of the bitmap and the file records while it runs: the
  // volume is changed only while it is unmounted.
  if (!table->SuspendNtfs3gMount(target, mount, inside, error)) return false;
  const auto resume = [&]() -> bool {
    std::string mount_error;
    if (table->ResumeMount(mount, mount_error)) return true;
    error = error.empty() ? mount_error : error + "; " + mount_error;
    return false;
  };

  TNtfsPlacedFile placed;
  std::uint64_t largest = 0;
  switch (PlaceNtfsFile(mount.Source, inside, size, placed, largest, error)) {
    case TNtfsPlacement::NoRun:
      // In pieces then, through ntfs-3g: the file need not lie in one run.
      if (resume()) return false;
      outcome = Failed(error);
      return true;
    case TNtfsPlacement::Failed:
      resume();
      ::unlink(target.c_str());
      outcome = Failed(error);
      return true;
    case TNtfsPlacement::Placed:
      break;
  }

  // The node libntfs-3g opened: O_DIRECT on it drops its cached pages, so that a later
  // read through it finds what was written. O_EXCL keeps everyone else's mount off it.
  const int device = ::open(mount.Source.c_str(), O_WRONLY | O_DIRECT | O_EXCL | O_CLOEXEC);
  if (device < 0) {
    error = "cannot open " + mount.Source + ": " + SystemErrorText(errno);
    resume();
    ::unlink(target.c_str());
    outcome = Failed(error);
    return true;
  }
  TBlockWriter writer(in, device, placed, routine, data, digest);
  outcome = writer.Run();
  if (::close(device) != 0 && outcome.State == TCopyOutcome::Copied)
    outcome = {TCopyOutcome::Failed, errno};
  // Only data that is on the device is made readable.
  if (outcome.State == TCopyOutcome::Copied && !FinishNtfsFile(mount.Source, placed, error))
    outcome = Failed(error);
  if (!resume() && outcome.State == TCopyOutcome::Copied) outcome = Failed(error);
  if (outcome.State == TCopyOutcome::Copied) {
    // The read-back goes to the clusters themselves, as GRUB4DOS reads a mapped image.
    if (digest) digest->SetDevicePlace(mount.Source, placed.Offset());
    const std::uint32_t answer = writer.ReportEnd();
    if (answer == PROGRESS_CANCEL) outcome = {TCopyOutcome::Cancelled, 0};
    if (answer == PROGRESS_STOP) return true;
  }
  if (outcome.State != TCopyOutcome::Copied && !writer.Keep()) ::unlink(target.c_str());
  return true;
}

void InstallNtfsDirectWriter(const std::shared_ptr<TUSBDriveLetters>& table) {
  SetLargeFileWriter(std::make_shared<TNtfsDirectWriter>(table));
}

}  // namespace quorvane
