// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "fuse_disk_file.h"

#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/text.h"

namespace quorvane::testing {

namespace {

constexpr std::uint64_t kRootNode = FUSE_ROOT_ID;
constexpr std::uint64_t kDiskNode = 2;
constexpr std::uint32_t kMaxWrite = 128 * 1024;
// A request is its header, its arguments and at most kMaxWrite bytes of data.
constexpr std::size_t kRequestBuffer = kMaxWrite + 64 * 1024;

template <typename T>
T Argument(const char* request) {
  T value{};
  std::memcpy(&value, request + sizeof(fuse_in_header), sizeof value);
  return value;
}

}  // namespace

TFuseDiskFile::TFuseDiskFile(const std::string& dir, IRawBlockDevice& store)
    : FDir(dir), FStore(store) {
  FFd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (FFd < 0) {
    FUnavailable = "cannot open /dev/fuse: " + SystemErrorText(errno);
    return;
  }
  if (::pipe2(FStopPipe, O_CLOEXEC) != 0) {
    FUnavailable = "cannot make a pipe: " + SystemErrorText(errno);
    return;
  }
  const std::string options =
      "fd=" + std::to_string(FFd) + ",rootmode=40000,user_id=0,group_id=0,allow_other";
  if (::mount("quorvane-test", FDir.c_str(), "fuse.quorvane-test", MS_NOSUID | MS_NODEV,
              options.c_str()) != 0) {
    FUnavailable = "the kernel refuses to mount a FUSE file system: " + SystemErrorText(errno);
    return;
  }
  FMounted = true;
  FServer = std::thread([this] { Serve(); });
}

TFuseDiskFile::~TFuseDiskFile() {
  if (FMounted && ::umount2(FDir.c_str(), 0) != 0) {
    // Still in use: end the connection, so that nothing waits on the server for ever.
    Note("unmount of " + FDir + ": " + SystemErrorText(errno));
    if (FStopPipe[1] >= 0 && ::write(FStopPipe[1], "x", 1) != 1) Note("cannot stop the server");
    if (FServer.joinable()) FServer.join();
    ::umount2(FDir.c_str(), MNT_DETACH);
  }
  if (FServer.joinable()) FServer.join();
  if (FFd >= 0) ::close(FFd);
  for (const int fd : FStopPipe)
    if (fd >= 0) ::close(fd);
}

std::string TFuseDiskFile::Errors() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FErrors;
}

void TFuseDiskFile::Note(const std::string& error) {
  std::lock_guard<std::mutex> guard(FLock);
  FErrors += error + "\n";
}

void TFuseDiskFile::Serve() {
  std::vector<char> request(kRequestBuffer);
  for (;;) {
    pollfd fds[2] = {{FFd, POLLIN, 0}, {FStopPipe[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      Note("poll: " + SystemErrorText(errno));
      break;
    }
    if (fds[1].revents) break;
    const ssize_t n = ::read(FFd, request.data(), request.size());
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == ENOENT) continue;
      if (errno != ENODEV) Note("read from /dev/fuse: " + SystemErrorText(errno));
      break;  // ENODEV: unmounted
    }
    if (static_cast<std::size_t>(n) < sizeof(fuse_in_header)) {
      Note("short request");
      continue;
    }
    Handle(request.data(), static_cast<std::size_t>(n));
  }
  // Closing the device ends the connection: whatever still uses the file gets errors.
  ::close(FFd);
  FFd = -1;
}

void TFuseDiskFile::Reply(std::uint64_t unique, int error, const void* data, std::size_t length) {
  fuse_out_header header{};
  header.len = static_cast<std::uint32_t>(sizeof header + length);
  header.error = -error;
  header.unique = unique;
  iovec parts[2] = {{&header, sizeof header}, {const_cast<void*>(data), length}};
  const ssize_t n = ::writev(FFd, parts, length ? 2 : 1);
  // ENOENT: the request was interrupted meanwhile.
  if (n < 0 && errno != ENOENT) Note("reply: " + SystemErrorText(errno));
}

void TFuseDiskFile::Handle(const char* request, std::size_t length) {
  fuse_in_header in{};
  std::memcpy(&in, request, sizeof in);
  const auto attributes = [&](std::uint64_t node, fuse_attr& attr) {
    attr = fuse_attr{};
    attr.ino = node;
    attr.blksize = 4096;
    if (node == kRootNode) {
      attr.mode = S_IFDIR | 0755;
      attr.nlink = 2;
    } else {
      attr.mode = S_IFREG | 0600;
      attr.nlink = 1;
      attr.size = static_cast<std::uint64_t>(FStore.Size());
      attr.blocks = attr.size / 512;
    }
  };
  const bool known = in.nodeid == kRootNode || in.nodeid == kDiskNode;

  switch (in.opcode) {
    case FUSE_INIT: {
      const auto init = Argument<fuse_init_in>(request);
      if (init.major != FUSE_KERNEL_VERSION) {
        Note("the kernel speaks FUSE " + std::to_string(init.major));
        Reply(in.unique, EPROTO);
        return;
      }
      fuse_init_out out{};
      out.major = FUSE_KERNEL_VERSION;
      out.minor = std::min<std::uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
      out.max_readahead = init.max_readahead;
      out.max_background = 16;
      out.congestion_threshold = 12;
      out.max_write = kMaxWrite;
      out.time_gran = 1;
      Reply(in.unique, 0, &out, sizeof out);
      return;
    }
    case FUSE_LOOKUP: {
      const char* name = request + sizeof in;
      if (in.nodeid != kRootNode || std::strncmp(name, "disk", length - sizeof in) != 0) {
        Reply(in.unique, ENOENT);
        return;
      }
      fuse_entry_out out{};
      out.nodeid = kDiskNode;
      out.generation = 1;
      out.entry_valid = out.attr_valid = 3600;
      attributes(kDiskNode, out.attr);
      Reply(in.unique, 0, &out, sizeof out);
      return;
    }
    case FUSE_GETATTR:
    case FUSE_SETATTR: {
      if (!known) {
        Reply(in.unique, ENOENT);
        return;
      }
      fuse_attr_out out{};
      out.attr_valid = 3600;
      attributes(in.nodeid, out.attr);
      Reply(in.unique, 0, &out, sizeof out);
      return;
    }
    case FUSE_OPEN:
    case FUSE_OPENDIR: {
      fuse_open_out out{};
      out.fh = in.nodeid;
      // Past the page cache: every read and write comes here.
      if (in.opcode == FUSE_OPEN) out.open_flags = FOPEN_DIRECT_IO;
      Reply(in.unique, known ? 0 : ENOENT, &out, sizeof out);
      return;
    }
    case FUSE_READ: {
      const auto read = Argument<fuse_read_in>(request);
      const std::int64_t size = FStore.Size();
      const std::int64_t offset = static_cast<std::int64_t>(read.offset);
      const std::size_t count =
          offset >= size
              ? 0
              : static_cast<std::size_t>(std::min<std::int64_t>(read.size, size - offset));
      std::vector<char> data(count);
      std::string error;
      if (count && FStore.ReadAt(offset, data.data(), count, error) != TRawIo::Ok) {
        Reply(in.unique, EIO);
        return;
      }
      Reply(in.unique, 0, data.data(), count);
      return;
    }
    case FUSE_WRITE: {
      const auto write = Argument<fuse_write_in>(request);
      const char* data = request + sizeof in + sizeof(fuse_write_in);
      if (sizeof in + sizeof(fuse_write_in) + write.size > length ||
          static_cast<std::int64_t>(write.offset + write.size) > FStore.Size()) {
        Reply(in.unique, EINVAL);
        return;
      }
      std::string error;
      if (FStore.WriteAt(static_cast<std::int64_t>(write.offset), data, write.size, error) !=
          TRawIo::Ok) {
        Reply(in.unique, EIO);
        return;
      }
      fuse_write_out out{};
      out.size = write.size;
      Reply(in.unique, 0, &out, sizeof out);
      return;
    }
    case FUSE_STATFS: {
      fuse_statfs_out out{};
      out.st.bsize = out.st.frsize = 4096;
      out.st.blocks = static_cast<std::uint64_t>(FStore.Size()) / 4096;
      out.st.files = 2;
      out.st.namelen = 255;
      Reply(in.unique, 0, &out, sizeof out);
      return;
    }
    case FUSE_READDIR:
      Reply(in.unique, 0);  // an empty listing
      return;
    case FUSE_FLUSH:
    case FUSE_FSYNC:
    case FUSE_FSYNCDIR:
    case FUSE_RELEASE:
    case FUSE_RELEASEDIR:
    case FUSE_ACCESS:
      Reply(in.unique, 0);
      return;
    case FUSE_FORGET:
    case FUSE_BATCH_FORGET:
    case FUSE_INTERRUPT:
      return;  // no reply
    case FUSE_DESTROY:
      Reply(in.unique, 0);
      return;
    default:
      // Extended attributes, locks, fallocate and the like: the kernel does without.
      Reply(in.unique, ENOSYS);
      return;
  }
}

}  // namespace quorvane::testing
