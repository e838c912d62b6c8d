// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "common/text.h"
#include "drive/linux_dead_runs.h"
#include "drive/efi_partition.h"
#include "drive/linux_mount_owners.h"
#include "drive/linux_ntfs_direct_write.h"
#include "drive/linux_protected_disks.h"
#include "drive/usb_drive_letters.h"

namespace quorvane {

namespace fs = std::filesystem;

struct TUSBDriveLetters::TVolumeView {
  TVolumeKey Key;
  char Letter = 0;
  std::string DiskName, DiskNode;
  int Partition = 0;  // 0: the whole disk
  std::uint64_t StartSector = 0, Sectors = 0;
  std::string Node;  // the volume's own block node; empty for a partition without one
  std::string ProbeNode;
  std::uint64_t ProbeOffset = 0, ProbeSize = 0;
  bool HasFs = false;
  TVolumeProbe Probe;
  std::string MountPoint, MountSource;
  std::string LoopNode;  // a loop device at the partition's offset, when there is one
  bool SizeKnown = false;
  std::int64_t DiskSize = 0;
  bool Protected = false;
  std::string Vendor, Model, Serial, Image;
};

struct TUSBDriveLetters::TSnapshot {
  std::vector<TDiskInfo> Disks;
  std::vector<TMountEntry> Mounts;
  std::set<std::string> Protected;
  std::map<std::string, std::string> ProtectedWhy;  // why each protected disk is
  bool SystemKnown = false;  // the mount table shows the system's root file system

  const TDiskInfo* Disk(const std::string& name) const {
    for (const TDiskInfo& d : Disks)
      if (d.KernelName == name) return &d;
    return nullptr;
  }
};

namespace {

const char* const kNotPresent = "the drive is not present";
const char* const kBeingWritten = "the drive is being written directly; it is mounted again once the file is on it";

bool WritableType(const std::string& type) {
  return type == "vfat" || type == "exfat" || type == "ntfs";
}

std::string JoinErrors(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + "; " + b;
}

// Whether a loop device reads from a disk: through the disk's node (the table's, or the
// system's /dev), or from the image file that the disk is.
bool LoopIsOver(const TDiskInfo& loop, const std::string& disk_node,
                const std::string& kernel_name, const std::string& image) {
  return loop.BackingFile == disk_node || loop.BackingFile == "/dev/" + kernel_name ||
         (!image.empty() && loop.BackingFile == image);
}

// A FUSE mount whose process has died answers every call with "Transport endpoint is not
// connected".
bool MountIsDead(const std::string& point) {
  struct statvfs info {};
  return ::statvfs(point.c_str(), &info) != 0 && errno == ENOTCONN;
}

// Free bytes of a file system whatever its mount says about writing.
std::int64_t FreeBytesOf(const std::string& folder) {
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

std::string FirstLine(const std::string& text) {
  const std::string line = text.substr(0, text.find('\n'));
  const std::size_t end = line.find_last_not_of(" \t\r");
  return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}

}  // namespace

TUSBDriveLetters::TUSBDriveLetters(TDriveEnvironment env, std::shared_ptr<IToolRunner> runner,
                                   std::shared_ptr<IVolumeProber> prober)
    : FEnv(std::move(env)), FRunner(std::move(runner)), FProber(std::move(prober)) {
  if (FEnv.ModulesDir.empty()) {
    utsname name{};
    if (uname(&name) == 0) FEnv.ModulesDir = std::string("/lib/modules/") + name.release;
  }
}

TUSBDriveLetters::~TUSBDriveLetters() = default;

std::string TUSBDriveLetters::RunRoot() const { return FEnv.RunRoot; }

std::string TUSBDriveLetters::MountRoot() const {
  if (!FEnv.MountRoot.empty()) return FEnv.MountRoot;
  return RunRoot() + "/" + std::to_string(::getpid());
}

std::string TUSBDriveLetters::NodeOf(const std::string& kernel_name) const {
  return FEnv.DevRoot + "/" + kernel_name;
}

std::string TUSBDriveLetters::KernelNameOfNode(const std::string& node) const {
  const std::size_t slash = node.rfind('/');
  return slash == std::string::npos ? node : node.substr(slash + 1);
}

// ---------------------------------------------------------------------------------------
// The machine's state and the volumes on it.

TUSBDriveLetters::TSnapshot TUSBDriveLetters::TakeSnapshot() {
  TSnapshot snapshot;
  snapshot.Disks = ScanBlockDevices(FEnv.SysRoot);
  snapshot.Mounts = ParseMountInfo(ReadTextFile(FEnv.MountInfoPath));
  const std::vector<std::string> swaps = ParseSwaps(ReadTextFile(FEnv.SwapsPath));
  const std::vector<TDiskInfo>& disks = snapshot.Disks;
  TDeviceResolver resolver;
  resolver.NodeDevNumber = [this, &disks](const std::string& path) -> std::string {
    if (path.compare(0, 5, "/dev/") != 0) {
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return DevNumberText(st.st_rdev);
      return {};
    }
    struct stat st {};
    const std::string mapped = FEnv.DevRoot + path.substr(4);
    if (::stat(mapped.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return DevNumberText(st.st_rdev);
    // No node to look at (a fixture, or a node that went away): the kernel's name.
    const std::string name = KernelNameOfNode(path);
    for (const TDiskInfo& d : disks) {
      if (d.KernelName == name) return d.DevNumber;
      for (const TPartitionInfo& p : d.Partitions)
        if (p.KernelName == name) return p.DevNumber;
    }
    return {};
  };
  resolver.HolderDevNumber = [](const std::string& path) -> std::string {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return DevNumberText(st.st_dev);
  };
  snapshot.ProtectedWhy = ProtectedDiskReasons(snapshot.Disks, snapshot.Mounts, swaps, resolver);
  for (const auto& [name, why] : snapshot.ProtectedWhy) snapshot.Protected.insert(name);
  // A mount table without the system's root could not be read: then no disk can be told
  // apart from the one the system runs from, and every disk is taken for it.
  snapshot.SystemKnown = std::any_of(snapshot.Mounts.begin(), snapshot.Mounts.end(),
                                     [](const TMountEntry& m) { return m.MountPoint == "/"; });
  if (!snapshot.SystemKnown)
    for (const TDiskInfo& d : snapshot.Disks) snapshot.Protected.insert(d.KernelName);
  return snapshot;
}

bool TUSBDriveLetters::EligibleImage(const TDiskInfo& disk, std::string& image) const {
  if (!disk.IsLoop) return false;
  for (const TImage& i : FImages) {
    if (i.LoopName == disk.KernelName && disk.BackingFile == i.Path) {
      image = i.Path;
      return true;
    }
  }
  return false;
}

std::vector<TUSBDriveLetters::TVolumeView> TUSBDriveLetters::VolumesOf(const TSnapshot& snapshot,
                                                                      const TDiskInfo& disk) {
  TVolumeView base;
  base.DiskName = disk.KernelName;
  base.DiskNode = NodeOf(disk.KernelName);
  base.SizeKnown = disk.SizeKnown;
  base.DiskSize = disk.SizeBytes;
  base.Vendor = disk.Vendor;
  base.Model = disk.Model;
  base.Serial = disk.Serial;
  const bool image = EligibleImage(disk, base.Image);
  base.Protected = snapshot.Protected.count(disk.KernelName) > 0 || (!image && !disk.Usb);
  if (image)
    base.Key.DiskId = "image:" + base.Image;
  else if (!disk.Serial.empty())
    base.Key.DiskId = "usb:" + disk.Vendor + "|" + disk.Model + "|" + disk.Serial;
  else
    base.Key.DiskId = "port:" + (disk.UsbDevicePath.empty() ? disk.DevicePath : disk.UsbDevicePath);
  // Image partitions are read from the file itself, which every loop device over it
  // writes through, so that no device's cache shows old bytes.
  const std::string read_node = image ? base.Image : base.DiskNode;

  // An EFI system partition is no drive to write entries to: it gets no letter.
  std::uint64_t efi_start = 0, efi_sectors = 0;
  bool has_efi = false;
  if (const int fd = ::open(read_node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); fd >= 0) {
    unsigned char sector[512];
    if (::pread(fd, sector, sizeof sector, 0) == static_cast<ssize_t>(sizeof sector))
      has_efi = FindEfiPartitionEntry(sector, efi_start, efi_sectors);
    ::close(fd);
  }
  const auto is_efi = [&](std::uint64_t start) { return has_efi && start == efi_start; };

  std::vector<TVolumeView> volumes;
  for (const TPartitionInfo& p : disk.Partitions) {
    if (p.Sectors <= 2) continue;  // an extended partition's container
    if (is_efi(p.StartSector)) continue;
    TVolumeView v = base;
    v.Partition = p.Number;
    v.StartSector = p.StartSector;
    v.Sectors = p.Sectors;
    v.Node = NodeOf(p.KernelName);
    v.ProbeNode = v.Node;
    volumes.push_back(v);
  }
  if (disk.Partitions.empty()) {
    std::vector<TProbedPartition> table;
    if (FProber->ProbePartitions(read_node, table)) {
      for (const TProbedPartition& p : table) {
        if (is_efi(p.StartSector)) continue;
        TVolumeView v = base;
        v.Partition = p.Number;
        v.StartSector = p.StartSector;
        v.Sectors = p.Sectors;
        v.ProbeNode = read_node;
        v.ProbeOffset = p.StartSector * 512;
        v.ProbeSize = p.Sectors * 512;
        volumes.push_back(v);
      }
    }
  }
  if (volumes.empty()) {
    TVolumeView v = base;
    v.Node = base.DiskNode;
    v.ProbeNode = read_node;
    volumes.push_back(v);
  }

  for (TVolumeView& v : volumes) {
    v.HasFs = FProber->ProbeVolume(v.ProbeNode, v.ProbeOffset, v.ProbeSize, v.Probe);
    v.Key.Partition = v.Partition;
    v.Key.StartSector = v.StartSector;
    v.Key.Uuid = v.HasFs ? v.Probe.Uuid : std::string();

    // The devices that show this volume: its own node, and loop devices at its offset.
    std::set<std::string> numbers, sources;
    if (!v.Node.empty()) {
      const std::string name = KernelNameOfNode(v.Node);
      std::string number = disk.DevNumber;
      for (const TPartitionInfo& p : disk.Partitions)
        if (p.KernelName == name) number = p.DevNumber;
      numbers.insert(number);
      sources.insert("/dev/" + name);
      sources.insert(v.Node);
    }
    for (const TDiskInfo& loop : snapshot.Disks) {
      if (!loop.IsLoop || loop.KernelName == disk.KernelName) continue;
      if (!LoopIsOver(loop, base.DiskNode, disk.KernelName, base.Image) ||
          loop.LoopOffset != v.StartSector * 512)
        continue;
      if (v.Partition == 0 && loop.LoopSizeLimit != 0) continue;
      numbers.insert(loop.DevNumber);
      sources.insert("/dev/" + loop.KernelName);
      sources.insert(NodeOf(loop.KernelName));
      if (v.Node.empty() && v.LoopNode.empty()) v.LoopNode = "/dev/" + loop.KernelName;
    }
    for (const TMountEntry& m : snapshot.Mounts) {
      if (m.Root != "/") continue;
      if (numbers.count(m.DevNumber) || sources.count(m.Source)) {
        v.MountPoint = m.MountPoint;
        v.MountSource = m.Source;
        break;
      }
    }
  }
  return volumes;
}

std::vector<TUSBDriveLetters::TVolumeView> TUSBDriveLetters::CurrentVolumes(TSnapshot& snapshot) {
  snapshot = TakeSnapshot();
  std::vector<TVolumeView> volumes;
  for (const TDiskInfo& disk : snapshot.Disks) {
    std::string image;
    const bool eligible =
        EligibleImage(disk, image) ||
        (FEnv.ListUsbDisks && disk.Usb && !disk.IsLoop && !(disk.SizeKnown && disk.SizeBytes == 0));
    // A disk being repartitioned is neither listed nor mounted until it is ready.
    if (!eligible || FBusyDisks.count(disk.KernelName)) continue;
    std::vector<TVolumeView> own = VolumesOf(snapshot, disk);
    volumes.insert(volumes.end(), own.begin(), own.end());
  }
  AssignLetters(volumes);
  return volumes;
}

void TUSBDriveLetters::AssignLetters(std::vector<TVolumeView>& volumes) {
  for (TVolumeView& v : volumes) {
    for (const auto& [letter, key] : FLetters)
      if (key == v.Key) v.Letter = letter;
    if (v.Letter) continue;
    if (FLetters.size() >= 26) continue;  // letters are never handed out twice
    v.Letter = static_cast<char>('a' + FLetters.size());
    FLetters[v.Letter] = v.Key;
  }
  for (const TVolumeView& v : volumes)
    if (v.Letter && !v.MountPoint.empty())
      FKnownRoots[v.Letter] = v.MountPoint == "/" ? "/" : v.MountPoint + "/";
}

const TUSBDriveLetters::TVolumeView* TUSBDriveLetters::FindLetter(
    const std::vector<TVolumeView>& volumes, char letter) const {
  if (letter < 'a' || letter > 'z') return nullptr;
  for (const TVolumeView& v : volumes)
    if (v.Letter == letter) return &v;
  return nullptr;
}

// ---------------------------------------------------------------------------------------
// Letters, roots and the drive list.

std::string TUSBDriveLetters::RootOf(char letter) {
  std::string error;
  return RootOf(letter, error);
}

std::string TUSBDriveLetters::RootOf(char letter, std::string& error) {
  return GuardedRootOf(letter, true, error);
}

std::string TUSBDriveLetters::ReadOnlyRootOf(char letter, std::string& error) {
  return GuardedRootOf(letter, false, error);
}

std::string TUSBDriveLetters::GuardedRootOf(char letter, bool writable, std::string& error) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  try {
    return RootOfLocked(letter, writable, error);
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "unexpected error";
  }
  return {};
}

std::string TUSBDriveLetters::OwnMountRootLocked(char letter) {
  // A volume the program mounted stays where it is while the mount lasts.
  for (auto it = FMounts.begin(); it != FMounts.end(); ++it) {
    if (it->Letter != letter) continue;
    for (const TMountEntry& m : ParseMountInfo(ReadTextFile(FEnv.MountInfoPath)))
      if (m.MountPoint == it->MountPoint && m.Source == it->Source) return it->MountPoint + "/";
    FMounts.erase(it);  // unmounted by someone else
    break;
  }
  return {};
}

std::string TUSBDriveLetters::VolumeRootLocked(const TVolumeView& volume, bool writable,
                                               std::string& error) {
  error.clear();
  if (FSuspended.count(volume.Letter)) {
    error = kBeingWritten;
    return {};
  }
  if (std::string own = OwnMountRootLocked(volume.Letter); !own.empty()) {
    const auto mount = std::find_if(FMounts.begin(), FMounts.end(),
                                    [&](const TOwnMount& m) { return m.Letter == volume.Letter; });
    if (!MountIsDead(own) && !(writable && mount->ReadOnly)) return own;
    if (!DropOwnMountLocked(volume.Letter, error)) return {};
  } else if (!volume.MountPoint.empty()) {
    if (!MountIsDead(volume.MountPoint))
      return volume.MountPoint == "/" ? "/" : volume.MountPoint + "/";
    // Someone's FUSE mount whose process died: it serves nobody any more.
    const TToolResult r = FRunner->Run({"umount", {"--lazy", volume.MountPoint}, ""});
    if (!r.Succeeded()) {
      error = "the mount at " + volume.MountPoint + " has lost its file system process (" +
              SystemErrorText(ENOTCONN) + ") and cannot be detached: " + r.ErrorText();
      return {};
    }
  }
  std::string root;
  if (!MountLocked(volume, volume.Letter, writable, root, error)) return {};
  return root;
}

bool TUSBDriveLetters::DropOwnMountLocked(char letter, std::string& error) {
  const auto mount = std::find_if(FMounts.begin(), FMounts.end(),
                                  [&](const TOwnMount& m) { return m.Letter == letter; });
  if (mount == FMounts.end()) return true;
  if (!UnmountLocked(mount->MountPoint, error)) return false;
  ::rmdir(mount->MountPoint.c_str());
  FKnownRoots.erase(letter);
  FMounts.erase(mount);
  return true;
}

std::string TUSBDriveLetters::RootOfLocked(char letter, bool writable, std::string& error) {
  error.clear();
  if (FSuspended.count(letter)) {
    error = kBeingWritten;
    return {};
  }
  // The program's own mount that serves needs no look at the drives.
  if (std::string own = OwnMountRootLocked(letter); !own.empty()) {
    for (const TOwnMount& m : FMounts)
      if (m.Letter == letter && (!writable || !m.ReadOnly) && !MountIsDead(own)) return own;
  }
  TSnapshot snapshot;
  const std::vector<TVolumeView> volumes = CurrentVolumes(snapshot);
  const TVolumeView* v = FindLetter(volumes, letter);
  if (!v) {
    error = kNotPresent;
    return {};
  }
  return VolumeRootLocked(*v, writable, error);
}

char TUSBDriveLetters::LetterOfPath(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return LetterOfLongestRoot(FKnownRoots, path);
}

TUSBDrives TUSBDriveLetters::ListUSBDrives() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  TSnapshot snapshot;
  const std::vector<TVolumeView> volumes = CurrentVolumes(snapshot);
  TUSBDrives drives;
  for (const TVolumeView& v : volumes) {
    if (!v.Letter) continue;
    TUSBDriveSet d;
    d.Letter = v.Letter;
    d.Name = v.HasFs && !v.Probe.Label.empty() ? v.Probe.Label : kNoVolumeLabel;
    d.FileSystem = v.HasFs ? FileSystemName(v.Probe) : std::string();
    if (!v.HasFs) d.FileSystemProblem = v.Probe.Problem;
    d.IntFileSystem = IntFileSystemOf(d.FileSystem);
    d.FullSize = v.SizeKnown && !v.Protected && v.DiskSize > 0 ? v.DiskSize : 0;
    d.VolumeDevice = !v.Node.empty() ? v.Node : v.LoopNode;
    d.DiskDevice = v.DiskNode;
    d.MountPoint = v.MountPoint;
    d.Vendor = v.Vendor;
    d.Model = v.Model;
    d.Serial = v.Serial;
    d.ImageFile = v.Image;
    // The free space is that of the mounted volume, mounted from the look just taken.
    if (d.FullSize == 0) {
      d.FreeSpace = 0;
    } else {
      std::string error;
      const std::string root = VolumeRootLocked(v, false, error);
      // The program's own read-only mount shows what a read-write one would hold.
      const bool own_look = std::any_of(FMounts.begin(), FMounts.end(), [&](const TOwnMount& m) {
        return m.Letter == d.Letter && m.ReadOnly;
      });
      d.FreeSpace = root.empty() ? -1 : own_look ? FreeBytesOf(root) : FreeSpaceOfFolder(root);
      if (root.empty()) d.FreeSpaceError = error;
      if (!root.empty()) {
        d.MountPoint = root.size() > 1 ? root.substr(0, root.size() - 1) : root;
        for (const TOwnMount& m : FMounts)
          if (m.Letter == d.Letter) d.VolumeDevice = m.Source;
      }
    }
    drives.push_back(d);
  }
  std::sort(drives.begin(), drives.end(),
            [](const TUSBDriveSet& a, const TUSBDriveSet& b) { return a.Letter < b.Letter; });
  return drives;
}

void TUSBDriveLetters::VolumeNameAndFS(char letter, std::string& name, std::string& file_system) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  name.clear();
  file_system.clear();
  TSnapshot snapshot;
  const std::vector<TVolumeView> volumes = CurrentVolumes(snapshot);
  if (const TVolumeView* v = FindLetter(volumes, letter); v && v->HasFs) {
    name = v->Probe.Label;
    file_system = FileSystemName(v->Probe);
  }
  if (name.empty()) name = kNoVolumeLabel;
}

// ---------------------------------------------------------------------------------------
// Mounting.

bool TUSBDriveLetters::Ntfs3Available() {
  const std::vector<std::string> names = ParseFileSystems(ReadTextFile(FEnv.FileSystemsPath));
  if (std::find(names.begin(), names.end(), "ntfs3") != names.end()) return true;
  std::error_code ec;
  return !FEnv.ModulesDir.empty() && fs::is_directory(FEnv.ModulesDir + "/kernel/fs/ntfs3", ec);
}

bool TUSBDriveLetters::RunMount(const std::string& type, const std::string& node,
                                const std::string& dir, bool writable, std::string& error) {
  const std::string options = std::string(writable ? "rw" : "ro") + ",nosuid,nodev";
  if (type == "ntfs") {
    std::string kernel_error;
    if (Ntfs3Available()) {
      const TToolResult r = FRunner->Run({"mount", {"-t", "ntfs3", "-o", options, node, dir}, ""});
      if (r.Succeeded()) return true;
      kernel_error = r.ErrorText();
    }
    // FUSE's small writes are what makes it slow; big_writes lifts that.
    const TToolResult r = FRunner->Run({"ntfs-3g", {"-o", options + ",big_writes", node, dir}, ""});
    if (r.Succeeded()) return true;
    error = "cannot mount " + node + ": " + JoinErrors(kernel_error, r.ErrorText());
    return false;
  }
  const TToolResult r = FRunner->Run({"mount", {"-t", type, "-o", options, node, dir}, ""});
  if (r.Succeeded()) return true;
  error = "cannot mount " + node + ": " + r.ErrorText();
  return false;
}

bool TUSBDriveLetters::MountLocked(const TVolumeView& volume, char letter, bool writable,
                                   std::string& root, std::string& error) {
  if (volume.Protected) {
    error = volume.DiskNode + " holds the running system or is not a USB drive";
    return false;
  }
  if (!volume.HasFs) {
    error = "the drive has no file system";
    return false;
  }
  if (!WritableType(volume.Probe.Type)) {
    error = "the drive's file system (" + volume.Probe.Type + ") is not FAT, exFAT or NTFS";
    return false;
  }
  std::string node = volume.Node, loop;
  const std::string file = volume.Image.empty() ? volume.DiskNode : volume.Image;
  if (node.empty()) {
    // The loop device of an earlier mount of the same volume serves again.
    for (const TOwnLoop& l : FLoops)
      if (l.DiskName == volume.DiskName && l.File == file && l.Offset == volume.StartSector * 512)
        node = NodeOf(l.KernelName);
  }
  if (node.empty()) {
    if (!AttachLoop(file, volume.StartSector * 512, volume.Sectors * 512, loop, error))
      return false;
    FLoops.push_back({loop, volume.DiskName, file, volume.StartSector * 512});
    RecordLoopsLocked();
    node = NodeOf(loop);
  }
  const auto undo_loop = [&] {
    if (loop.empty()) return;
    std::string detach_error;
    if (DetachLoop(loop, detach_error)) {
      std::erase_if(FLoops, [&](const TOwnLoop& l) { return l.KernelName == loop; });
      RecordLoopsLocked();
    }
    error = JoinErrors(error, detach_error);
  };

  const std::string dir = MountRoot() + "/" + letter;
  std::error_code ec;
  fs::create_directories(MountRoot(), ec);
  if (!ec) fs::permissions(MountRoot(), fs::perms::owner_all, ec);
  if (ec) {
    error = "cannot create " + MountRoot() + ": " + ec.message();
    undo_loop();
    return false;
  }
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + dir + ": " + SystemErrorText(errno);
    undo_loop();
    return false;
  }
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile(FEnv.MountInfoPath))) {
    if (m.MountPoint == dir) {
      error = dir + " is in use by another mount";
      undo_loop();
      return false;
    }
  }
  if (!RunMount(volume.Probe.Type, node, dir, writable, error)) {
    ::rmdir(dir.c_str());
    undo_loop();
    return false;
  }
  std::string source;
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile(FEnv.MountInfoPath)))
    if (m.MountPoint == dir) source = m.Source;
  if (source.empty()) {
    error = "the volume does not appear at " + dir + " after mounting";
    undo_loop();
    return false;
  }
  FMounts.push_back({letter, dir, source, volume.DiskName, !writable});
  root = dir + "/";
  FKnownRoots[letter] = root;
  return true;
}

bool TUSBDriveLetters::AttachLoop(const std::string& file, std::uint64_t offset, std::uint64_t size,
                                  std::string& kernel_name, std::string& error) {
  std::vector<std::string> args{"--find", "--show"};
  if (offset) args.insert(args.end(), {"--offset", std::to_string(offset)});
  if (size) args.insert(args.end(), {"--sizelimit", std::to_string(size)});
  args.push_back(file);
  const TToolResult r = FRunner->Run({"losetup", args, ""});
  if (!r.Succeeded()) {
    error = "cannot attach a loop device to " + file + ": " + r.ErrorText();
    return false;
  }
  const std::string node = FirstLine(r.Output);
  const std::string name = KernelNameOfNode(node);
  if (node.compare(0, 9, "/dev/loop") != 0 || name.size() <= 4 ||
      name.find_first_not_of("0123456789", 4) != std::string::npos) {
    error = "losetup named no loop device for " + file + ": " + OneLine(r.Output);
    return false;
  }
  kernel_name = name;
  return true;
}

bool TUSBDriveLetters::DetachLoop(const std::string& kernel_name, std::string& error) {
  const TToolResult r = FRunner->Run({"losetup", {"--detach", NodeOf(kernel_name)}, ""});
  if (r.Succeeded()) return true;
  error = "cannot detach " + NodeOf(kernel_name) + ": " + r.ErrorText();
  return false;
}

bool TUSBDriveLetters::UnmountLocked(const std::string& mount_point, std::string& error) {
  const int fd = ::open(mount_point.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool dead = false;
  if (fd < 0 || ::syncfs(fd) != 0) {
    const int code = errno;
    if (fd >= 0) ::close(fd);
    // The FUSE process behind the mount has died ("Transport endpoint is not connected"):
    // nothing can be synced any more, and the mount is detached lazily.
    if (code != ENOTCONN) {
      error = "cannot sync " + mount_point + ": " + SystemErrorText(code);
      return false;
    }
    dead = true;
  } else {
    ::close(fd);
  }
  std::vector<std::string> args{mount_point};
  if (dead) args.insert(args.begin(), "--lazy");
  const TToolResult r = FRunner->Run({"umount", args, ""});
  if (!r.Succeeded()) {
    error = "cannot unmount " + mount_point + ": " + r.ErrorText();
    return false;
  }
  for (const TMountEntry& m : ParseMountInfo(ReadTextFile(FEnv.MountInfoPath))) {
    if (m.MountPoint == mount_point) {
      error = mount_point + " is still mounted";
      return false;
    }
  }
  return true;
}

std::string TUSBDriveLetters::ReleaseLocked(const std::string& disk_name) {
  std::string errors;
  for (auto it = FMounts.begin(); it != FMounts.end();) {
    if (!disk_name.empty() && it->DiskName != disk_name) {
      ++it;
      continue;
    }
    std::string error;
    if (!UnmountLocked(it->MountPoint, error)) {
      errors = JoinErrors(errors, error);
      ++it;
      continue;
    }
    if (::rmdir(it->MountPoint.c_str()) != 0 && errno != ENOENT)
      errors = JoinErrors(errors, "cannot remove " + it->MountPoint + ": " + SystemErrorText(errno));
    FKnownRoots.erase(it->Letter);
    it = FMounts.erase(it);
  }
  for (auto it = FLoops.begin(); it != FLoops.end();) {
    std::string error;
    if ((!disk_name.empty() && it->DiskName != disk_name)) {
      ++it;
    } else if (DetachLoop(it->KernelName, error)) {
      it = FLoops.erase(it);
    } else {
      errors = JoinErrors(errors, error);
      ++it;
    }
  }
  // The program's own folder goes once nothing is mounted in it and no loop device of
  // this run is left to list.
  RecordLoopsLocked();
  if (FMounts.empty() && FLoops.empty() && FImages.empty() && ::rmdir(MountRoot().c_str()) != 0 &&
      errno != ENOENT && errno != ENOTEMPTY)
    errors = JoinErrors(errors, "cannot remove " + MountRoot() + ": " + SystemErrorText(errno));
  return errors;
}

void TUSBDriveLetters::RecordLoopsLocked() {
  std::vector<TRunLoop> loops;
  for (const TImage& i : FImages) loops.push_back({i.LoopName, 0, i.Path});
  for (const TOwnLoop& l : FLoops) loops.push_back({l.KernelName, l.Offset, l.File});
  const std::string record = MountRoot() + "/" + kRunLoopsFile;
  if (loops.empty()) {
    ::unlink(record.c_str());
    return;
  }
  // Written whole under another name, then put in place: a kill leaves the old list or
  // the new one, never half of one. Without the list a later run leaves the devices be.
  std::error_code ec;
  fs::create_directories(MountRoot(), ec);
  if (!ec) fs::permissions(MountRoot(), fs::perms::owner_all, ec);
  const std::string part = record + ".new";
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  const std::string text = FormatRunLoops(loops);
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written || ::rename(part.c_str(), record.c_str()) != 0) ::unlink(part.c_str());
}

bool TUSBDriveLetters::SuspendNtfs3gMount(const std::string& path, TSuspendedMount& mount,
                                          std::string& inside, std::string& error) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  error.clear();
  if (path.find("/../") != std::string::npos || path.find("/./") != std::string::npos)
    return false;
  for (auto it = FMounts.begin(); it != FMounts.end(); ++it) {
    if (path.compare(0, it->MountPoint.size() + 1, it->MountPoint + "/") != 0) continue;
    bool fuse = false;
    for (const TMountEntry& m : ParseMountInfo(ReadTextFile(FEnv.MountInfoPath)))
      if (m.MountPoint == it->MountPoint && m.Source == it->Source && m.FsType == "fuseblk")
        fuse = true;
    struct stat node {};
    if (!fuse || ::stat(it->Source.c_str(), &node) != 0 || !S_ISBLK(node.st_mode)) return false;
    if (!UnmountLocked(it->MountPoint, error)) return false;
    mount = {it->Letter, it->MountPoint, it->Source, it->DiskName};
    inside = path.substr(it->MountPoint.size());
    FSuspended.insert(it->Letter);
    FMounts.erase(it);
    return true;
  }
  return false;
}

bool TUSBDriveLetters::ResumeMount(const TSuspendedMount& mount, std::string& error) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FSuspended.erase(mount.Letter);
  try {
    if (!RunMount("ntfs", mount.Source, mount.MountPoint, true, error)) return false;
    std::string source;
    for (const TMountEntry& m : ParseMountInfo(ReadTextFile(FEnv.MountInfoPath)))
      if (m.MountPoint == mount.MountPoint) source = m.Source;
    if (source.empty()) {
      error = "the volume does not appear at " + mount.MountPoint + " after mounting";
      return false;
    }
    FMounts.push_back({mount.Letter, mount.MountPoint, source, mount.DiskName});
    FKnownRoots[mount.Letter] = mount.MountPoint + "/";
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

std::string TUSBDriveLetters::ReleaseProgramMounts() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  try {
    return ReleaseLocked("");
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::string TUSBDriveLetters::ReleaseRunDrives() {
  std::string errors = ReleaseProgramMounts();
  std::string detach_errors;
  if (!DetachImageDrives(detach_errors)) errors = JoinErrors(errors, detach_errors);
  return errors;
}

// ---------------------------------------------------------------------------------------
// Image drives.

bool TUSBDriveLetters::AttachImageDrive(const std::string& path, std::int64_t create_size,
                                        char& letter, std::string& error) {
  letter = 0;
  error.clear();
  if (path.empty()) {
    error = "no image file named";
    return false;
  }
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec).lexically_normal();
  if (!fs::exists(fs::symlink_status(absolute, ec))) {
    if (create_size <= 0) {
      error = "the image file " + Quoted(absolute.string()) + " does not exist";
      return false;
    }
    const int fd = ::open(absolute.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, create_size) != 0) {
      error = "cannot create the image file " + Quoted(absolute.string()) + ": " +
              SystemErrorText(errno);
      if (fd >= 0) ::close(fd);
      return false;
    }
    if (::close(fd) != 0) {
      error = "cannot create the image file " + Quoted(absolute.string()) + ": " +
              SystemErrorText(errno);
      return false;
    }
  }
  const fs::path canonical = fs::canonical(absolute, ec);
  struct stat st {};
  if (ec || ::stat(canonical.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    // A device node named as an image would let the program write to any disk.
    error = Quoted(absolute.string()) + " is not a disk image file";
    return false;
  }
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const auto known = std::find_if(FImages.begin(), FImages.end(),
                                  [&](const TImage& i) { return i.Path == canonical.string(); });
  std::string loop;
  if (known != FImages.end()) {
    loop = known->LoopName;
  } else {
    if (!AttachLoop(canonical.string(), 0, 0, loop, error)) return false;
    FImages.push_back({canonical.string(), loop});
    RecordLoopsLocked();
  }
  TSnapshot snapshot;
  for (const TVolumeView& v : CurrentVolumes(snapshot)) {
    if (v.DiskName == loop && v.Letter) {
      letter = v.Letter;
      return true;
    }
  }
  error = "the image " + Quoted(canonical.string()) + " got no drive letter";
  return false;
}

bool TUSBDriveLetters::DetachImageDrive(const std::string& path, std::string& error) {
  std::error_code ec;
  const std::string canonical = fs::weakly_canonical(fs::absolute(path, ec), ec).string();
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const auto it = std::find_if(FImages.begin(), FImages.end(),
                               [&](const TImage& i) { return i.Path == canonical; });
  if (it == FImages.end()) {
    error = "the image " + Quoted(canonical) + " is not attached";
    return false;
  }
  error = ReleaseLocked(it->LoopName);
  if (!error.empty()) return false;
  if (!DetachLoop(it->LoopName, error)) return false;
  FImages.erase(it);
  RecordLoopsLocked();
  if (FMounts.empty() && FLoops.empty() && FImages.empty()) ::rmdir(MountRoot().c_str());
  return true;
}

bool TUSBDriveLetters::DetachImageDrives(std::string& error) {
  error.clear();
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const std::vector<TImage> images = FImages;
  for (const TImage& image : images) {
    std::string one;
    if (!DetachImageDrive(image.Path, one)) error = JoinErrors(error, one);
  }
  return error.empty();
}

// ---------------------------------------------------------------------------------------
// The drive step.

bool TUSBDriveLetters::WritableDiskOf(char letter, TDiskTarget& target, std::string& error) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  TSnapshot snapshot;
  const std::vector<TVolumeView> volumes = CurrentVolumes(snapshot);
  const TVolumeView* v = FindLetter(volumes, letter);
  const TDiskInfo* disk = v ? snapshot.Disk(v->DiskName) : nullptr;
  if (!disk) {
    error = kNotPresent;
    return false;
  }
  target = TDiskTarget{};
  target.KernelName = disk->KernelName;
  target.Node = NodeOf(disk->KernelName);
  target.DevNumber = disk->DevNumber;
  target.SizeBytes = disk->SizeKnown ? disk->SizeBytes : -1;
  target.IsImage = !v->Image.empty();
  target.ImageFile = v->Image;
  if (!target.IsImage && !disk->Usb) {
    error = target.Node + " is not a USB drive";
    return false;
  }
  if (!snapshot.SystemKnown) {
    error = "the table of mounted file systems cannot be read, so the disk of the running "
            "system cannot be told apart from " + target.Node;
    return false;
  }
  if (snapshot.Protected.count(disk->KernelName)) {
    error = target.Node + " holds the running system";
    const auto why = snapshot.ProtectedWhy.find(disk->KernelName);
    if (why != snapshot.ProtectedWhy.end()) error += " (" + why->second + ")";
    return false;
  }
  return true;
}

bool TUSBDriveLetters::VolumePresent(char letter) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  TSnapshot snapshot;
  const std::vector<TVolumeView> volumes = CurrentVolumes(snapshot);
  return FindLetter(volumes, letter) != nullptr;
}

bool TUSBDriveLetters::UnmountDisk(const TDiskTarget& target, std::string& error) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  error = ReleaseLocked(target.KernelName);
  if (!error.empty()) return false;
  // Whoever else mounted the disk's volumes: through its own nodes, or through loop
  // devices over it. Inner mounts first.
  const auto mounted = [&] {
    std::vector<std::string> points;
    for (const TMountEntry& m : MountsOfDiskLocked(TakeSnapshot(), target)) points.push_back(m.MountPoint);
    std::sort(points.begin(), points.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
  };
  for (const std::string& point : mounted()) {
    if (!UnmountLocked(point, error)) return false;
  }
  if (const std::vector<std::string> left = mounted(); !left.empty()) {
    error = left.front() + " is still mounted";
    return false;
  }
  return true;
}

std::vector<TMountEntry> TUSBDriveLetters::MountsOfDiskLocked(const TSnapshot& snapshot,
                                                             const TDiskTarget& target) const {
  const TDiskInfo* disk = snapshot.Disk(target.KernelName);
  std::set<std::string> numbers, sources;
  if (disk) {
    numbers.insert(disk->DevNumber);
    sources.insert("/dev/" + disk->KernelName);
    for (const TPartitionInfo& p : disk->Partitions) {
      numbers.insert(p.DevNumber);
      sources.insert("/dev/" + p.KernelName);
      sources.insert(NodeOf(p.KernelName));
    }
  }
  sources.insert(target.Node);
  for (const TDiskInfo& loop : snapshot.Disks) {
    if (!loop.IsLoop || loop.KernelName == target.KernelName) continue;
    if (LoopIsOver(loop, target.Node, target.KernelName, target.ImageFile)) {
      numbers.insert(loop.DevNumber);
      sources.insert("/dev/" + loop.KernelName);
    }
  }
  std::vector<TMountEntry> mounts;
  for (const TMountEntry& m : snapshot.Mounts)
    if (numbers.count(m.DevNumber) || sources.count(m.Source)) mounts.push_back(m);
  return mounts;
}

std::vector<TForeignMount> TUSBDriveLetters::ForeignMountsOf(const TDiskTarget& target) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const TSnapshot snapshot = TakeSnapshot();
  const std::vector<TUtabEntry> utab = ParseUtab(ReadTextFile(FEnv.UtabPath));
  std::vector<TForeignMount> foreign;
  for (const TMountEntry& m : MountsOfDiskLocked(snapshot, target)) {
    const bool own = std::any_of(FMounts.begin(), FMounts.end(), [&](const TOwnMount& o) {
      return o.MountPoint == m.MountPoint;
    });
    if (own) continue;
    foreign.push_back({m.Source, m.MountPoint, DescribeMounter(m, utab, RunRoot())});
  }
  return foreign;
}

bool TUSBDriveLetters::LocatePartition(const TDiskTarget& target, int number,
                                       TPartitionDevice& partition, std::string& error) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const auto missing = [&] {
    error = "partition " + std::to_string(number) + " does not appear on " + target.Node;
    return false;
  };
  std::string file = target.IsImage ? target.ImageFile : target.Node;
  if (!target.IsImage) {
    const TToolResult r = FRunner->Run({"blockdev", {"--rereadpt", target.Node}, ""});
    if (!r.Succeeded()) {
      error = "cannot re-read the partition table of " + target.Node + ": " + r.ErrorText();
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + FEnv.PartitionWait;
    bool listed = false;
    while (true) {
      TDiskInfo disk;
      if (ScanBlockDevice(FEnv.SysRoot, target.KernelName, disk)) {
        for (const TPartitionInfo& p : disk.Partitions) {
          if (p.Number != number) continue;
          listed = true;
          partition = {NodeOf(p.KernelName), p.StartSector, p.Sectors};
          struct stat st {};
          if (::stat(partition.Node.c_str(), &st) == 0 &&
              ((S_ISBLK(st.st_mode) && DevNumberText(st.st_rdev) == p.DevNumber) ||
               S_ISREG(st.st_mode)))
            return true;
        }
      }
      if (std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!listed) return missing();
    // The kernel knows the partition but no node appeared for it (no device manager):
    // a loop device at its offset stands in.
  } else {
    std::vector<TProbedPartition> table;
    if (!FProber->ProbePartitions(file, table)) return missing();
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&](const TProbedPartition& p) { return p.Number == number; });
    if (it == table.end()) return missing();
    partition.StartSector = it->StartSector;
    partition.Sectors = it->Sectors;
  }
  std::string loop;
  if (!AttachLoop(file, partition.StartSector * 512, partition.Sectors * 512, loop, error))
    return false;
  FLoops.push_back({loop, target.KernelName, file, partition.StartSector * 512});
  RecordLoopsLocked();
  partition.Node = NodeOf(loop);
  return true;
}

bool TUSBDriveLetters::RebindLetter(char letter, const TDiskTarget& target, int number,
                                    std::string& error) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const TSnapshot snapshot = TakeSnapshot();
  const TDiskInfo* disk = snapshot.Disk(target.KernelName);
  if (disk) {
    for (const TVolumeView& v : VolumesOf(snapshot, *disk)) {
      if (v.Partition != number) continue;
      // A letter handed out meanwhile names nothing from now on; letters are never
      // handed out twice, so none is removed.
      for (auto& [other, key] : FLetters)
        if (key == v.Key) key = TVolumeKey{};
      FLetters[letter] = v.Key;
      FKnownRoots.erase(letter);
      return true;
    }
  }
  error = "the new volume does not appear on " + target.Node;
  return false;
}

void TUSBDriveLetters::SetDiskBusy(const std::string& kernel_name, bool busy) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (busy)
    FBusyDisks.insert(kernel_name);
  else
    FBusyDisks.erase(kernel_name);
}

// ---------------------------------------------------------------------------------------

std::shared_ptr<TUSBDriveLetters> InstallUSBDriveLetters(TDriveEnvironment env) {
  auto table = std::make_shared<TUSBDriveLetters>(std::move(env));
  SetDriveLetters(table);
  InstallNtfsDirectWriter(table);
  return table;
}

std::shared_ptr<TUSBDriveLetters> USBDriveLetters() {
  return std::dynamic_pointer_cast<TUSBDriveLetters>(DriveLetters());
}

std::string ReleaseProgramMounts() {
  std::shared_ptr<TUSBDriveLetters> table = USBDriveLetters();
  return table ? table->ReleaseProgramMounts() : std::string();
}

}  // namespace quorvane
