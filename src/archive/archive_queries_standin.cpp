// Stand-in until the archive library binding exists: no file can be read as an archive.
#include <stdexcept>

#include "archive/archive_queries.h"

namespace quorvane {

std::int64_t GetArchiveItemSize(const std::string&, const std::string&) { return -1; }

std::int64_t GetArchiveContentSize(const std::string&) {
  throw std::runtime_error("archive reader not available");
}

std::int64_t GetArchiveLargestItemSize(const std::string&) {
  throw std::runtime_error("archive reader not available");
}

}  // namespace quorvane
