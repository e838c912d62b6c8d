// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/cd_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/text.h"

namespace quorvane {

namespace {

constexpr std::size_t kSector = 2048;
// Enough for the descriptors an image carries before its set terminator, and for the
// UDF recognition sequence that follows it.
constexpr std::size_t kDescriptorSectors = 32;

std::uint32_t Le(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

}  // namespace

TCdImageFacts CdImageFacts(const std::string& descriptors) {
  TCdImageFacts facts;
  bool iso_set_ended = false;  // what follows the set terminator is no ISO 9660 descriptor
  for (std::size_t at = 0; at + kSector <= descriptors.size(); at += kSector) {
    const auto* d = reinterpret_cast<const unsigned char*>(descriptors.data() + at);
    const std::string id(reinterpret_cast<const char*>(d + 1), 5);
    if (id == "NSR02" || id == "NSR03") facts.Udf = true;
    if (id != "CD001" || d[6] != 1 || iso_set_ended) continue;
    if (d[0] == 0 && descriptors.compare(at + 7, 23, "EL TORITO SPECIFICATION") == 0)
      facts.ElTorito = true;
    if (d[0] == 1 && !facts.Iso9660) {
      facts.Iso9660 = true;
      const std::uint32_t blocks = Le(d + 80, 4), block_size = Le(d + 128, 2);
      if (block_size != 0) facts.VolumeBytes = static_cast<std::int64_t>(blocks) * block_size;
    }
    if (d[0] == 255) iso_set_ended = true;
  }
  return facts;
}

bool ReadCdImageFacts(const std::string& image, TCdImageFacts& facts, std::string& error) {
  facts = {};
  const int fd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = SystemErrorText(errno);
    return false;
  }
  std::string bytes(kSector * kDescriptorSectors, '\0');
  std::size_t have = 0;
  while (have < bytes.size()) {
    const ssize_t n = ::pread(fd, bytes.data() + have, bytes.size() - have,
                              static_cast<off_t>(kVolumeDescriptorsAt + have));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemErrorText(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(have);
  facts = CdImageFacts(bytes);
  return true;
}

}  // namespace quorvane
