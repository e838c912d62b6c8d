// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Through libntfs-3g on a partition's device node. The library's headers are C and need
// a few system headers before them.
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "drive/ntfs_volume.h"

extern "C" {
#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/bitmap.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/runlist.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}
// The library's headers define these as macros.
#undef min
#undef max

namespace quorvane {

namespace {

// Free runs below this are of no use to an image and are not kept.
constexpr std::uint64_t kSmallestKeptRun = 1u << 20;

std::string Why(const std::string& what, int error) {
  return what + ": " + SystemErrorText(error ? error : EIO);
}

// The volume, unmounted when the scope ends unless Close() was called and checked.
class TVolume {
 public:
  TVolume(const std::string& device, bool writable, std::string& error) : FDevice(device) {
    if (std::getenv("QUORVANE_NTFS_LOG")) {
      ntfs_log_set_handler(ntfs_log_handler_stderr);
      ntfs_log_set_levels(0xFFFF & ~(NTFS_LOG_LEVEL_DEBUG | NTFS_LOG_LEVEL_TRACE));
    }
    const ntfs_mount_flags flags = writable ? NTFS_MNT_EXCLUSIVE : NTFS_MNT_RDONLY;
    // A driver that was just unmounted may hold the device a moment longer.
    for (int tries = 0; tries < 50; ++tries) {
      FVolume = ntfs_mount(device.c_str(), flags);
      if (FVolume || errno != EBUSY) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!FVolume) error = Why("libntfs-3g cannot open the NTFS volume on " + device, errno);
  }
  ~TVolume() {
    if (FVolume) ntfs_umount(FVolume, TRUE);
  }
  TVolume(const TVolume&) = delete;
  TVolume& operator=(const TVolume&) = delete;

  ntfs_volume* Get() const { return FVolume; }
  // Writes back what changed and closes the device.
  bool Close(std::string& error) {
    ntfs_volume* volume = FVolume;
    FVolume = nullptr;
    if (ntfs_umount(volume, FALSE) == 0) return true;
    error = Why("libntfs-3g cannot close the NTFS volume on " + FDevice, errno);
    return false;
  }

 private:
  std::string FDevice;
  ntfs_volume* FVolume = nullptr;
};

struct TInodeCloser {
  void operator()(ntfs_inode* ni) const { ntfs_inode_close(ni); }
};
using TInode = std::unique_ptr<ntfs_inode, TInodeCloser>;

struct TAttrCloser {
  void operator()(ntfs_attr* na) const { ntfs_attr_close(na); }
};
using TAttr = std::unique_ptr<ntfs_attr, TAttrCloser>;

struct TSearchCloser {
  void operator()(ntfs_attr_search_ctx* ctx) const { ntfs_attr_put_search_ctx(ctx); }
};
using TSearch = std::unique_ptr<ntfs_attr_search_ctx, TSearchCloser>;

bool ReadFreeRuns(ntfs_volume* volume, TNtfsFreeSpace& space, std::string& error) {
  space.ClusterSize = volume->cluster_size;
  space.Clusters = static_cast<std::uint64_t>(volume->nr_clusters);
  TFreeRunScanner scanner(space.Clusters, kSmallestKeptRun / space.ClusterSize);
  std::vector<std::uint8_t> buffer(64u << 10);
  const s64 bytes = static_cast<s64>((space.Clusters + 7) / 8);
  for (s64 at = 0; at < bytes;) {
    const s64 want = std::min<s64>(static_cast<s64>(buffer.size()), bytes - at);
    const s64 got = ntfs_attr_pread(volume->lcnbmp_na, at, want, buffer.data());
    if (got <= 0) {
      error = Why("the cluster bitmap of the NTFS volume cannot be read", errno);
      return false;
    }
    scanner.Add(buffer.data(), static_cast<std::size_t>(got));
    at += got;
  }
  space.FreeRuns = scanner.Finish();
  return true;
}

// The folder and the name of a path inside the volume.
bool SplitPath(const std::string& path, std::string& folder, std::string& name) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return false;
  folder = slash == 0 ? "/" : path.substr(0, slash);
  name = path.substr(slash + 1);
  return true;
}

// The unnamed data stream of `ni`: one run at `run`, and its sizes.
bool HasRun(ntfs_inode* ni, const TClusterRun& run, std::string& error) {
  TAttr na(ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0));
  if (!na || !NAttrNonResident(na.get()) || ntfs_attr_map_whole_runlist(na.get()) != 0) {
    error = Why("the file's data on the NTFS volume cannot be read", errno);
    return false;
  }
  const runlist_element* rl = na->rl;
  if (!rl || rl[0].vcn != 0 || rl[0].lcn != static_cast<LCN>(run.Lcn) ||
      rl[0].length != static_cast<s64>(run.Clusters) || rl[1].length != 0) {
    error = "the file on the NTFS volume does not lie in the run of clusters given to it";
    return false;
  }
  return true;
}

// Sets the sizes of the data stream's attribute record.
bool SetSizes(ntfs_inode* ni, ntfs_attr* na, std::uint64_t size, std::uint64_t initialized,
              std::string& error) {
  TSearch ctx(ntfs_attr_get_search_ctx(ni, nullptr));
  if (!ctx || ntfs_attr_lookup(AT_DATA, AT_UNNAMED, 0, CASE_SENSITIVE, 0, nullptr, 0, ctx.get())) {
    error = Why("the file's data record on the NTFS volume cannot be found", errno);
    return false;
  }
  ATTR_RECORD* a = ctx->attr;
  if (!a->non_resident) {
    error = "the file's data on the NTFS volume is not in clusters of its own";
    return false;
  }
  a->data_size = cpu_to_sle64(static_cast<s64>(size));
  a->initialized_size = cpu_to_sle64(static_cast<s64>(initialized));
  na->data_size = static_cast<s64>(size);
  na->initialized_size = static_cast<s64>(initialized);
  ni->data_size = static_cast<s64>(size);
  NInoFileNameSetDirty(ni);
  ntfs_inode_mark_dirty(ctx->ntfs_ino);
  return true;
}

}  // namespace

bool ReadNtfsFreeSpace(const std::string& device, TNtfsFreeSpace& space, std::string& error) {
  TVolume volume(device, false, error);
  if (!volume.Get()) return false;
  if (!ReadFreeRuns(volume.Get(), space, error)) return false;
  return volume.Close(error);
}

TNtfsPlacement PlaceNtfsFile(const std::string& device, const std::string& path,
                             std::uint64_t size, TNtfsPlacedFile& placed, std::uint64_t& largest,
                             std::string& error) {
  std::string folder, name;
  if (!SplitPath(path, folder, name) || size == 0) {
    error = "no file to place on the NTFS volume: " + path;
    return TNtfsPlacement::Failed;
  }
  TVolume volume(device, true, error);
  ntfs_volume* vol = volume.Get();
  if (!vol) return TNtfsPlacement::Failed;
  TNtfsFreeSpace space;
  if (!ReadFreeRuns(vol, space, error)) return TNtfsPlacement::Failed;
  const std::uint64_t clusters = (size + space.ClusterSize - 1) / space.ClusterSize;
  TClusterRun run;
  if (!ChooseRun(space.FreeRuns, clusters, run)) {
    largest = space.LargestRunBytes();
    return volume.Close(error) ? TNtfsPlacement::NoRun : TNtfsPlacement::Failed;
  }

  TInode dir(ntfs_pathname_to_inode(vol, nullptr, folder.c_str()));
  if (!dir) {
    error = Why("the folder " + folder + " cannot be found on the NTFS volume", errno);
    return TNtfsPlacement::Failed;
  }
  ntfschar* uname = nullptr;
  const int uname_length = ntfs_mbstoucs(name.c_str(), &uname);
  if (uname_length <= 0) {
    error = Why("the name " + name + " cannot be written on the NTFS volume", errno);
    return TNtfsPlacement::Failed;
  }
  ntfs_inode* created = ntfs_create(dir.get(), const_cpu_to_le32(0), uname, uname_length, S_IFREG);
  const int create_error = errno;
  std::free(uname);
  if (!created) {
    error = Why("the file " + path + " cannot be created on the NTFS volume", create_error);
    return TNtfsPlacement::Failed;
  }
  TInode file(created);

  // The clusters first: marked in use in the bitmap, then given to the data stream as
  // its one run. The stream is made non-resident (with no clusters) before that.
  TAttr na(ntfs_attr_open(file.get(), AT_DATA, AT_UNNAMED, 0));
  if (!na || ntfs_attr_force_non_resident(na.get()) != 0) {
    error = Why("the file's data on the NTFS volume cannot be given clusters", errno);
    return TNtfsPlacement::Failed;
  }
  // The new file's record may have made the MFT grow into free clusters: the run is
  // chosen again from what is free now.
  if (!ReadFreeRuns(vol, space, error)) return TNtfsPlacement::Failed;
  if (!ChooseRun(space.FreeRuns, clusters, run)) {
    error = "no free run on the NTFS volume holds " + path + " any more";
    return TNtfsPlacement::Failed;
  }
  if (ntfs_bitmap_set_run(vol->lcnbmp_na, static_cast<s64>(run.Lcn),
                          static_cast<s64>(run.Clusters)) != 0) {
    error = Why("the clusters cannot be marked in use on the NTFS volume", errno);
    return TNtfsPlacement::Failed;
  }
  if (vol->free_clusters >= static_cast<s64>(run.Clusters))
    vol->free_clusters -= static_cast<s64>(run.Clusters);
  auto* rl = static_cast<runlist_element*>(std::calloc(2, sizeof(runlist_element)));
  if (!rl) {
    error = Why("no memory", ENOMEM);
    return TNtfsPlacement::Failed;
  }
  rl[0] = {0, static_cast<LCN>(run.Lcn), static_cast<s64>(run.Clusters)};
  rl[1] = {static_cast<VCN>(run.Clusters), LCN_ENOENT, 0};
  std::free(na->rl);
  na->rl = rl;
  na->allocated_size = static_cast<s64>(run.Clusters * space.ClusterSize);
  NAttrSetRunlistDirty(na.get());
  NAttrSetFullyMapped(na.get());
  if (ntfs_attr_update_mapping_pairs(na.get(), 0) != 0) {
    error = Why("the file's run of clusters cannot be recorded on the NTFS volume", errno);
    return TNtfsPlacement::Failed;
  }
  file->allocated_size = na->allocated_size;
  if (!SetSizes(file.get(), na.get(), size, 0, error)) return TNtfsPlacement::Failed;
  na.reset();
  ntfs_inode_update_times(file.get(), static_cast<ntfs_time_update_flags>(NTFS_UPDATE_MCTIME));
  // Written together with the folder's index, which holds the new name.
  if (ntfs_inode_close_in_dir(file.release(), dir.get()) != 0) {
    error = Why("the file's record cannot be written on the NTFS volume", errno);
    return TNtfsPlacement::Failed;
  }
  dir.reset();
  if (!volume.Close(error)) return TNtfsPlacement::Failed;
  // What the volume recorded, read back, before any data is written there.
  placed = {path, size, space.ClusterSize, run};
  TVolume check(device, false, error);
  if (!check.Get()) return TNtfsPlacement::Failed;
  TInode written(ntfs_pathname_to_inode(check.Get(), nullptr, path.c_str()));
  if (!written) {
    error = Why("the file " + path + " cannot be found on the NTFS volume", errno);
    return TNtfsPlacement::Failed;
  }
  if (!HasRun(written.get(), run, error)) return TNtfsPlacement::Failed;
  written.reset();
  return check.Close(error) ? TNtfsPlacement::Placed : TNtfsPlacement::Failed;
}

bool FinishNtfsFile(const std::string& device, const TNtfsPlacedFile& placed, std::string& error) {
  TVolume volume(device, true, error);
  if (!volume.Get()) return false;
  TInode file(ntfs_pathname_to_inode(volume.Get(), nullptr, placed.Path.c_str()));
  if (!file) {
    error = Why("the file " + placed.Path + " cannot be found on the NTFS volume", errno);
    return false;
  }
  if (!HasRun(file.get(), placed.Run, error)) return false;
  TAttr na(ntfs_attr_open(file.get(), AT_DATA, AT_UNNAMED, 0));
  if (!na) {
    error = Why("the file's data on the NTFS volume cannot be opened", errno);
    return false;
  }
  if (static_cast<std::uint64_t>(na->data_size) != placed.Size ||
      static_cast<std::uint64_t>(na->allocated_size) < placed.Size) {
    error = "the file " + placed.Path + " changed size on the NTFS volume while it was written";
    return false;
  }
  if (!SetSizes(file.get(), na.get(), placed.Size, placed.Size, error)) return false;
  na.reset();
  ntfs_inode_update_times(file.get(), static_cast<ntfs_time_update_flags>(NTFS_UPDATE_MCTIME));
  if (ntfs_inode_close(file.release()) != 0) {
    error = Why("the file's record cannot be written on the NTFS volume", errno);
    return false;
  }
  return volume.Close(error);
}

}  // namespace quorvane
