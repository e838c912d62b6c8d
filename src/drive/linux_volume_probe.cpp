// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <blkid/blkid.h>
#include <fcntl.h>
#include <unistd.h>

#include "drive/volume_probe.h"

#include <cerrno>

#include "common/text.h"

namespace quorvane {

namespace {

// An open device with a libblkid probe over part of it.
class TProbe {
 public:
  TProbe(const std::string& node, std::uint64_t offset, std::uint64_t size) {
    FFd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) return;
    FProbe = blkid_new_probe();
    if (FProbe && blkid_probe_set_device(FProbe, FFd, static_cast<blkid_loff_t>(offset),
                                         static_cast<blkid_loff_t>(size)) != 0) {
      blkid_free_probe(FProbe);
      FProbe = nullptr;
    }
  }
  ~TProbe() {
    if (FProbe) blkid_free_probe(FProbe);
    if (FFd >= 0) ::close(FFd);
  }
  TProbe(const TProbe&) = delete;
  TProbe& operator=(const TProbe&) = delete;

  blkid_probe Get() const { return FProbe; }

  std::string Value(const char* name) const {
    const char* data = nullptr;
    std::size_t length = 0;
    if (blkid_probe_lookup_value(FProbe, name, &data, &length) != 0 || !data) return {};
    std::string value(data, length);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
  }

 private:
  int FFd = -1;
  blkid_probe FProbe = nullptr;
};

}  // namespace

bool TBlkidVolumeProber::ProbeVolume(const std::string& node, std::uint64_t offset,
                                     std::uint64_t size, TVolumeProbe& probe) {
  probe = TVolumeProbe{};
  TProbe p(node, offset, size);
  if (!p.Get()) {
    probe.Problem = node + " cannot be read: " + SystemErrorText(errno ? errno : EIO);
    return false;
  }
  blkid_probe_enable_superblocks(p.Get(), 1);
  blkid_probe_set_superblocks_flags(p.Get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE |
                                                 BLKID_SUBLKS_VERSION | BLKID_SUBLKS_UUID);
  blkid_probe_enable_partitions(p.Get(), 0);
  const int found = blkid_do_safeprobe(p.Get());
  if (found == -2) {
    probe.Problem = "it carries the marks of more than one file system";
    return false;
  }
  if (found != 0) {
    if (found < 0) probe.Problem = node + " cannot be read";
    return false;
  }
  probe.Type = p.Value("TYPE");
  probe.Version = p.Value("VERSION");
  probe.Label = p.Value("LABEL");
  probe.Uuid = p.Value("UUID");
  return !probe.Type.empty();
}

bool TBlkidVolumeProber::ProbePartitions(const std::string& node,
                                         std::vector<TProbedPartition>& partitions) {
  partitions.clear();
  TProbe p(node, 0, 0);
  if (!p.Get()) return false;
  blkid_probe_enable_superblocks(p.Get(), 0);
  blkid_probe_enable_partitions(p.Get(), 1);
  blkid_partlist list = blkid_probe_get_partitions(p.Get());
  if (!list) return false;
  const int count = blkid_partlist_numof_partitions(list);
  for (int i = 0; i < count; ++i) {
    blkid_partition part = blkid_partlist_get_partition(list, i);
    if (!part || blkid_partition_is_extended(part)) continue;
    const blkid_loff_t start = blkid_partition_get_start(part);
    const blkid_loff_t sectors = blkid_partition_get_size(part);
    if (start <= 0 || sectors <= 0) continue;
    TProbedPartition entry;
    entry.Number = blkid_partition_get_partno(part);
    entry.StartSector = static_cast<std::uint64_t>(start);
    entry.Sectors = static_cast<std::uint64_t>(sectors);
    partitions.push_back(entry);
  }
  return true;
}

std::shared_ptr<IVolumeProber> SystemVolumeProber() {
  static const std::shared_ptr<IVolumeProber> prober = std::make_shared<TBlkidVolumeProber>();
  return prober;
}

std::string FileSystemName(const TVolumeProbe& probe) {
  if (probe.Type == "vfat") return probe.Version == "FAT32" ? "FAT32" : "FAT";
  if (probe.Type == "exfat") return "exFAT";
  if (probe.Type == "ntfs") return "NTFS";
  return probe.Type;
}

}  // namespace quorvane
