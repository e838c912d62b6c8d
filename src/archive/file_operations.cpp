#include "archive/file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/text.h"

namespace quorvane {

namespace fs = std::filesystem;

std::int64_t FileSize64(const std::string& FileName) {
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info {};
  const bool ok = ::fstat(fd, &info) == 0;
  ::close(fd);
  return ok ? static_cast<std::int64_t>(info.st_size) : -1;
}

void DeleteDirectory(const std::string& Dir, std::string& ErrorText) {
  try {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(Dir, ec))) {
      ErrorText = "Directory not found " + Quoted(Dir);
      return;
    }
    fs::remove_all(Dir, ec);
    if (ec) {
      ErrorText = "Shell delete directory operation fails with error code: " +
                  std::to_string(ec.value());
      return;
    }
    ErrorText.clear();
  } catch (...) {
    ErrorText = "Unhandled error has occured in directory delete process";
  }
}

}  // namespace quorvane
