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

// How the drive's copy of a file compares with its source.
enum class TSourceCheck { Same, Differs, Stopped, Unreadable, NoSource };

// Compares the drive's copy of `file` with its source side by side: `at` is the first
// byte that differs (the end of the shorter one when one is the start of the other). `piece_done`
// gets the bytes compared so far; answering false stops. NoSource: the source cannot be
// read, nothing was decided.
TSourceCheck CompareWithSource(const TWrittenFile& file,
                               const std::function<bool(std::uint64_t)>& piece_done,
                               std::uint64_t& at, TReadBackOutcome& outcome) {
  TFd source;
  source.Fd = ::open(file.Source.c_str(), O_RDONLY | O_CLOEXEC);
  if (source.Fd < 0) return TSourceCheck::NoSource;
  std::unique_ptr<char[]> theirs(new char[kWrittenBlockSize]);
  bool found = false;
  bool source_failed = false;
  bool stopped = false;
  std::uint64_t read_size = 0;
  // Reads up to `length` bytes of the source at `at`; how many there were, -1 on a failure.
  const auto read_source = [&](std::size_t length, std::uint64_t from) -> ssize_t {
    std::size_t got = 0;
    while (got < length) {
      const ssize_t n = ::pread(source.Fd, theirs.get() + got, length - got,
                                static_cast<off_t>(from + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
  };
  outcome = ReadBackWritten(
      file, [&](const char* bytes, std::size_t length, std::uint64_t offset) {
        for (std::size_t start = 0; start < length; start += kWrittenBlockSize) {
          const std::size_t piece = std::min(kWrittenBlockSize, length - start);
          const ssize_t got = read_source(piece, offset + start);
          if (got < 0) {
            source_failed = true;
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
        read_size = offset + length;
        if (piece_done && !piece_done(std::min(read_size, file.Size))) {
          stopped = true;
          return false;
        }
        return true;
      });
  if (found) return TSourceCheck::Differs;
  if (source_failed) return TSourceCheck::NoSource;
  if (stopped) return TSourceCheck::Stopped;
  if (outcome.State != TReadBackOutcome::Read) return TSourceCheck::Unreadable;
  if (read_size == file.Size) return TSourceCheck::Same;
  at = std::min(read_size, file.Size);
  return TSourceCheck::Differs;
}

// The start of the first piece whose sum differs; else the end of the shorter copy.
std::uint64_t FirstDifferingPiece(const TWrittenFile& written, const TWrittenFile& read) {
  const std::size_t pieces = std::min(written.BlockSums.size(), read.BlockSums.size());
  for (std::size_t i = 0; i < pieces; ++i)
    if (written.BlockSums[i] != read.BlockSums[i])
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
    const auto report = [&](std::uint64_t done) {
      return !progress || progress(before + done, total);
    };
    TWriteDigest digest(false);  // the pieces' sums: the SHA-256 is for the manifest
    const TReadBackOutcome outcome = ReadBackWritten(
        file, [&](const char* bytes, std::size_t length, std::uint64_t offset) {
          digest.Add(bytes, length, offset);
          return report(std::min(offset + length, file.Size));
        });
    if (outcome.State == TReadBackOutcome::Cancelled) {
      stopped = true;
      return {};
    }
    if (outcome.State != TReadBackOutcome::Read) return Unreadable(name, outcome);
    const TWrittenFile read = digest.Finish(file.Path);
    if (read.Size != file.Size || read.BlockSums != file.BlockSums) {
      // Where: read side by side with the source where there is one (a source gone or
      // changed since: its start), else the start of the first piece that differs.
      if (file.Source.empty()) return Differs(name, FirstDifferingPiece(file, read));
      std::uint64_t at = 0;
      TReadBackOutcome again;
      if (CompareWithSource(file, nullptr, at, again) != TSourceCheck::Differs) at = 0;
      return Differs(name, at);
    }
    before += file.Size;
  }
  if (progress && !progress(total, total)) stopped = true;
  return {};
}

}  // namespace quorvane
