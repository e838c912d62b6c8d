// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Raw disk access on Linux: the disk node opened with O_DIRECT (reads and writes bypass
// the page cache), its size and logical block size from the block-device ioctls. An image
// file on a file system without O_DIRECT is flushed and its cached pages dropped instead.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/file_writes.h"
#include "common/text.h"
#include "drive/linux_block_devices.h"
#include "drive/raw_block_device.h"

namespace quorvane {

namespace {

// errno values that say the medium refused some blocks while the disk is still there.
bool IsMediumError(int error_number) {
  return error_number == EIO || error_number == EILSEQ || error_number == ENODATA ||
         error_number == EBADMSG;
}

class TLinuxRawBlockDevice : public IRawBlockDevice {
 public:
  TLinuxRawBlockDevice(int fd, std::string node, std::int64_t size, std::uint32_t block_size,
                       bool direct)
      : FFd(fd), FNode(std::move(node)), FSize(size), FBlockSize(block_size), FDirect(direct) {}
  ~TLinuxRawBlockDevice() override { ::close(FFd); }

  std::int64_t Size() const override { return FSize; }
  std::uint32_t BlockSize() const override { return FBlockSize; }

  TRawIo ReadAt(std::int64_t offset, void* data, std::size_t length, std::string& error) override {
    if (!FDirect) {
      // Without O_DIRECT the bytes must come from the file, not from cached pages.
      if (::fdatasync(FFd) != 0 ||
          ::posix_fadvise(FFd, offset, static_cast<off_t>(length), POSIX_FADV_DONTNEED) != 0)
        return Failure("read", offset, errno, error);
    }
    auto* bytes = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < length) {
      const ssize_t n =
          ::pread(FFd, bytes + done, length - done, offset + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Failure("read", offset, n == 0 ? EIO : errno, error);
      done += static_cast<std::size_t>(n);
    }
    return TRawIo::Ok;
  }

  TRawIo WriteAt(std::int64_t offset, const void* data, std::size_t length,
                 std::string& error) override {
    if (!WriteAll(FFd, static_cast<const char*>(data), length, offset))
      return Failure("write", offset, errno, error);
    return TRawIo::Ok;
  }

  bool Flush(std::string& error) override {
    if (::fsync(FFd) == 0) return true;
    error = "cannot flush " + FNode + ": " + SystemErrorText(errno);
    return false;
  }

 private:
  TRawIo Failure(const char* what, std::int64_t offset, int error_number, std::string& error) {
    error = std::string("cannot ") + what + " " + FNode + " at byte " + std::to_string(offset) +
            ": " + SystemErrorText(error_number);
    return IsMediumError(error_number) ? TRawIo::BadBlock : TRawIo::Failed;
  }

  int FFd;
  std::string FNode;
  std::int64_t FSize;
  std::uint32_t FBlockSize;
  bool FDirect;
};

}  // namespace

std::unique_ptr<IRawBlockDevice> OpenRawBlockDevice(const std::string& node,
                                                    const std::string& dev_number,
                                                    std::string& error) {
  struct stat before {};
  if (::stat(node.c_str(), &before) != 0) {
    error = "cannot open " + node + ": " + SystemErrorText(errno);
    return nullptr;
  }
  const bool block = S_ISBLK(before.st_mode);
  if (!block && !S_ISREG(before.st_mode)) {
    error = node + " is neither a disk nor an image file";
    return nullptr;
  }
  int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_DIRECT;
  if (block) flags |= O_EXCL;  // fails while anything has a volume of the disk mounted
  int fd = ::open(node.c_str(), flags);
  bool direct = true;
  if (fd < 0 && errno == EINVAL && !block) {
    fd = ::open(node.c_str(), flags & ~O_DIRECT);
    direct = false;
  }
  if (fd < 0) {
    error = errno == EBUSY ? node + " is in use: a volume of it is still mounted"
                           : "cannot open " + node + ": " + SystemErrorText(errno);
    return nullptr;
  }
  const auto refuse = [&](std::string why) -> std::unique_ptr<IRawBlockDevice> {
    ::close(fd);
    error = std::move(why);
    return nullptr;
  };
  // The node opened must be the disk that was cleared for writing.
  struct stat st {};
  if (::fstat(fd, &st) != 0)
    return refuse("cannot examine " + node + ": " + SystemErrorText(errno));
  if (S_ISBLK(st.st_mode) != block ||
      (block && !dev_number.empty() && DevNumberText(st.st_rdev) != dev_number) ||
      (!block && !S_ISREG(st.st_mode)))
    return refuse(node + " is no longer the drive's disk");

  std::int64_t size = 0;
  std::uint32_t block_size = 512;
  if (block) {
    std::uint64_t bytes = 0;
    int logical = 0;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0)
      return refuse("cannot read the size of " + node + ": " + SystemErrorText(errno));
    if (::ioctl(fd, BLKSSZGET, &logical) != 0 || logical <= 0)
      return refuse("cannot read the block size of " + node + ": " + SystemErrorText(errno));
    size = static_cast<std::int64_t>(bytes);
    block_size = static_cast<std::uint32_t>(logical);
  } else {
    size = st.st_size;
  }
  if (block_size > kRawBufferAlignment || kRawBufferAlignment % block_size != 0)
    return refuse(node + " has an unusual block size of " + std::to_string(block_size) + " bytes");
  return std::make_unique<TLinuxRawBlockDevice>(fd, node, size, block_size, direct);
}

}  // namespace quorvane
