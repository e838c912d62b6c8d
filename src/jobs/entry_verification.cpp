// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/entry_verification.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "archive/read_back.h"
#include "common/text.h"

namespace quorvane {

namespace {

std::string ShownName(const std::string& path, const std::string& folder) {
  if (!folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0)
    return path.substr(folder.size());
  const std::size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Differs(const std::string& name, std::uint64_t at) {
  return "Verification failed: " + name + " differs on USB drive at byte " + std::to_string(at);
}

std::string Unreadable(const std::string& name, const TReadBackOutcome& outcome) {
  if (outcome.State == TReadBackOutcome::Missing)
    return "Verification failed: " + name + " is missing on USB drive";
  return "Verification failed: " + name + " cannot be read back from USB drive: " + outcome.Error;
}

// The drive's copy of `file`, piece by piece: from its run of clusters when it was written
// there straight and the file system still holds it at its size (so that the read sees
// what the disk holds under every driver's cache), else through the file system.
TReadBackOutcome ReadBackWritten(const TWrittenFile& file, const TReadBackBlock& block) {
  if (file.Device.empty()) return ReadBackFile(file.Path, block);
  struct stat info {};
  if (::lstat(file.Path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uint64_t>(info.st_size) != file.Size)
    return ReadBackFile(file.Path, block);  // which tells what became of it
  return ReadBackDeviceRange(file.Device, file.DeviceOffset, file.Size, block);
}

struct TFd {
  int Fd = -1;
  ~TFd() {
    if (Fd >= 0) ::close(Fd);
  }
};

// The first byte at which the drive's copy and the source differ, read again side by side;
// the end of the shorter one when one is the start of the other. False when either cannot
// be read (the caller then names the start of the file).
bool FirstDifferenceFromSource(const TWrittenFile& file, std::uint64_t read_size,
                               std::uint64_t& at) {
  TFd source;
  source.Fd = ::open(file.Source.c_str(), O_RDONLY | O_CLOEXEC);
  if (source.Fd < 0) return false;
  std::unique_ptr<char[]> theirs(new char[kWrittenBlockSize]);
  bool found = false;
  bool failed = false;
  // Reads up to `length` bytes of the source at `at`; how many there were, -1 on a failure.
  const auto read_source = [&](std::size_t length, std::uint64_t at) -> ssize_t {
    std::size_t got = 0;
    while (got < length) {
      const ssize_t n = ::pread(source.Fd, theirs.get() + got, length - got,
                                static_cast<off_t>(at + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
  };
  const TReadBackOutcome outcome = ReadBackWritten(
      file, [&](const char* bytes, std::size_t length, std::uint64_t offset) {
        for (std::size_t start = 0; start < length; start += kWrittenBlockSize) {
          const std::size_t piece = std::min(kWrittenBlockSize, length - start);
          const ssize_t got = read_source(piece, offset + start);
          if (got < 0) {
            failed = true;
            return false;
          }
          const char* ours = bytes + start;
          const auto common = static_cast<std::size_t>(got);
          const auto differ = std::mismatch(ours, ours + common, theirs.get()).first;
          if (differ != ours + common || common < piece) {
            // A differing byte, or the source ends here while the drive's copy goes on.
            at = offset + start + static_cast<std::uint64_t>(differ - ours);
            found = true;
            return false;
          }
        }
        return true;
      });
  if (found) return true;
  if (failed || outcome.State != TReadBackOutcome::Read) return false;
  at = std::min(read_size, file.Size);
  return true;
}

// The start of the first piece whose digest differs; else the end of the shorter copy.
std::uint64_t FirstDifferingPiece(const TWrittenFile& written, const TWrittenFile& read) {
  const std::size_t pieces = std::min(written.BlockDigests.size(), read.BlockDigests.size());
  for (std::size_t i = 0; i < pieces; ++i)
    if (written.BlockDigests[i] != read.BlockDigests[i])
      return static_cast<std::uint64_t>(i) * kWrittenBlockSize;
  return std::min(written.Size, read.Size);
}

}  // namespace

std::uint64_t VerifiedBytes(const std::vector<TWrittenFile>& files) {
  std::uint64_t total = 0;
  for (const TWrittenFile& file : files) total += file.Size;
  return total;
}

std::string VerifyWrittenFiles(const std::vector<TWrittenFile>& files, const std::string& folder,
                               const TVerifyProgress& progress, bool& stopped) {
  stopped = false;
  const std::uint64_t total = VerifiedBytes(files);
  std::uint64_t before = 0;
  for (const TWrittenFile& file : files) {
    const std::string name = ShownName(file.Path, folder);
    TWriteDigest digest(file.Source.empty());
    const TReadBackOutcome outcome = ReadBackWritten(
        file, [&](const char* bytes, std::size_t length, std::uint64_t offset) {
          digest.Add(bytes, length, offset);
          return !progress || progress(before + std::min(offset + length, file.Size), total);
        });
    if (outcome.State == TReadBackOutcome::Cancelled) {
      stopped = true;
      return {};
    }
    if (outcome.State != TReadBackOutcome::Read) return Unreadable(name, outcome);
    const TWrittenFile read = digest.Finish(file.Path);
    if (read.Size != file.Size || read.Sha256 != file.Sha256) {
      std::uint64_t at = 0;
      if (file.Source.empty()) at = FirstDifferingPiece(file, read);
      else if (!FirstDifferenceFromSource(file, read.Size, at)) at = 0;
      return Differs(name, at);
    }
    before += file.Size;
  }
  if (progress && !progress(total, total)) stopped = true;
  return {};
}

}  // namespace quorvane
