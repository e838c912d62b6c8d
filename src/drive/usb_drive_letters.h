// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The run's table of USB drive volumes: letters handed out in order of first sight and
// kept by their volume for the whole run, mounting on demand under the program's own
// folder in /run, image files attached as drives, and the disk operations of the drive
// step (which refuse every disk that is not a USB disk or a named image, and every disk
// that holds the running system).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "drive/drive_letters.h"
#include "drive/linux_block_devices.h"
#include "drive/linux_mount_table.h"
#include "common/tool_runner.h"
#include "drive/usb_drive_set.h"
#include "drive/volume_probe.h"

namespace quorvane {

// Where the table looks; tests point it at fixture trees.
struct TDriveEnvironment {
  std::string SysRoot = "/sys";
  std::string MountInfoPath = "/proc/self/mountinfo";
  std::string SwapsPath = "/proc/swaps";
  std::string FileSystemsPath = "/proc/filesystems";
  std::string ModulesDir;  // empty: /lib/modules/<running kernel>
  std::string DevRoot = "/dev";
  std::string UtabPath = "/run/mount/utab";
  // The folder of every run's own folder; a run mounts under RunRoot/<process id>.
  std::string RunRoot = "/run/quorvane";
  std::string MountRoot;   // empty: RunRoot/<process id>
  bool ListUsbDisks = true;  // false: image drives only
  // How long a new partition may take to show up under DevRoot.
  std::chrono::milliseconds PartitionWait = std::chrono::seconds(5);
};

// The disk under a letter, cleared for writing.
struct TDiskTarget {
  std::string KernelName;   // "sdb", "loop3"
  std::string Node;         // "/dev/sdb"
  std::string DevNumber;
  std::int64_t SizeBytes = -1;   // -1 when unknown
  bool IsImage = false;          // a disk image on a loop device (no partition nodes)
  std::string ImageFile;
};

// A mount of a disk that this run of the program did not make.
struct TForeignMount {
  std::string Device;      // the mount's source: "/dev/sdb1"
  std::string MountPoint;
  std::string MountedBy;   // "by the desktop's disk service (udisks2) for user ann", ...
};

// A partition reached for formatting: its own node, or a loop device at its offset.
struct TPartitionDevice {
  std::string Node;
  std::uint64_t StartSector = 0;
  std::uint64_t Sectors = 0;
};

// A volume that the program mounted through ntfs-3g, taken off its mount point for a
// while so that its device can be written directly.
struct TSuspendedMount {
  char Letter = 0;
  std::string MountPoint;
  std::string Source;  // the device node ntfs-3g had opened
  std::string DiskName;
};

class TUSBDriveLetters : public IDriveLetters, public IDriveLister {
 public:
  explicit TUSBDriveLetters(TDriveEnvironment env = {},
                            std::shared_ptr<IToolRunner> runner = SystemToolRunner(),
                            std::shared_ptr<IVolumeProber> prober = SystemVolumeProber());
  ~TUSBDriveLetters() override;

  // IDriveLetters. RootOf mounts a volume of a file system the program writes (FAT,
  // exFAT, NTFS) read-write when it is not mounted yet, or only read-only by the program.
  std::string RootOf(char letter) override;
  std::string RootOf(char letter, std::string& error) override;
  // A volume that nobody has mounted is mounted read-only; a mount of the program's
  // that is already there, read-only or not, is used as it is.
  std::string ReadOnlyRootOf(char letter, std::string& error) override;
  char LetterOfPath(const std::string& path) override;

  // IDriveLister. The volumes that nobody has mounted are mounted read-only to read their
  // free space, so that a stick pulled while the program shows it is not left unclean.
  TUSBDrives ListUSBDrives() override;
  void VolumeNameAndFS(char letter, std::string& name, std::string& file_system) override;

  // Makes a disk image file a drive: creates it at `create_size` bytes when it does not
  // exist (0: it must exist), attaches it to a loop device and gives the letter of its
  // first volume (a blank image is one volume without a file system). Attaching the same
  // file again gives the same letter.
  bool AttachImageDrive(const std::string& path, std::int64_t create_size, char& letter,
                        std::string& error);
  // Unmounts what the program mounted from the image and detaches its loop devices.
  bool DetachImageDrive(const std::string& path, std::string& error);
  bool DetachImageDrives(std::string& error);

  // Syncs and unmounts every volume the program mounted and detaches the loop devices it
  // attached for partitions; the letters stay and mount again on demand. Front ends call
  // it once a burn has ended (and at the end of the run). Returns the errors met, empty
  // when all went well.
  std::string ReleaseProgramMounts();
  // The end of a run: ReleaseProgramMounts, then DetachImageDrives. Returns the errors
  // met, empty when all went well.
  std::string ReleaseRunDrives();

  // The drive step. The disk of a letter when it may be written: false with the reason
  // when the letter names no present volume, or a disk that is not a USB disk or named
  // image, or that holds the running system.
  bool WritableDiskOf(char letter, TDiskTarget& disk, std::string& error);
  // Whether the letter names a volume whose disk is present.
  bool VolumePresent(char letter);
  // Every mount of the disk's volumes (through its nodes or loop devices over it) that
  // this run did not make.
  std::vector<TForeignMount> ForeignMountsOf(const TDiskTarget& disk);
  // Unmounts every volume of the disk (whoever mounted it) and detaches the program's
  // loop devices over it.
  bool UnmountDisk(const TDiskTarget& disk, std::string& error);
  // Reaches partition `number` of a disk whose table was just written.
  bool LocatePartition(const TDiskTarget& disk, int number, TPartitionDevice& partition,
                       std::string& error);
  // Moves `letter` to partition `number` of the disk (after repartitioning).
  bool RebindLetter(char letter, const TDiskTarget& disk, int number, std::string& error);
  // While a disk is being repartitioned its new volumes get no letters of their own.
  void SetDiskBusy(const std::string& kernel_name, bool busy);

  // When `path` lies on a volume that the program mounted through ntfs-3g from a block
  // device: unmounts it (flushed) and keeps it unmounted, its root refused, until
  // ResumeMount; `inside` is the path from the volume's root. False, and the volume as it
  // was, when the path lies on no such volume (`error` empty) or the unmount failed.
  bool SuspendNtfs3gMount(const std::string& path, TSuspendedMount& mount, std::string& inside,
                          std::string& error);
  // Mounts a suspended volume again where it was.
  bool ResumeMount(const TSuspendedMount& mount, std::string& error);

  IToolRunner& Runner() { return *FRunner; }
  const TDriveEnvironment& Environment() const { return FEnv; }

 private:
  struct TVolumeKey {
    std::string DiskId;
    int Partition = 0;
    std::uint64_t StartSector = 0;
    std::string Uuid;
    bool operator==(const TVolumeKey&) const = default;
  };
  struct TVolumeView;
  struct TSnapshot;
  struct TOwnMount {
    char Letter;
    std::string MountPoint;
    std::string Source;
    std::string DiskName;
    bool ReadOnly = false;  // mounted for a look at the drives
  };
  struct TOwnLoop {
    std::string KernelName;
    std::string DiskName;
    std::string File;  // what it shows, from which offset
    std::uint64_t Offset = 0;
  };
  struct TImage {
    std::string Path;
    std::string LoopName;
  };

  TSnapshot TakeSnapshot();
  std::vector<TVolumeView> VolumesOf(const TSnapshot& snapshot, const TDiskInfo& disk);
  std::vector<TVolumeView> CurrentVolumes(TSnapshot& snapshot);
  void AssignLetters(std::vector<TVolumeView>& volumes);
  const TVolumeView* FindLetter(const std::vector<TVolumeView>& volumes, char letter) const;
  bool EligibleImage(const TDiskInfo& disk, std::string& image) const;
  std::string NodeOf(const std::string& kernel_name) const;
  std::string KernelNameOfNode(const std::string& node) const;
  std::string GuardedRootOf(char letter, bool writable, std::string& error);
  std::string RootOfLocked(char letter, bool writable, std::string& error);
  // The root of the program's own mount of `letter` while it lasts; empty otherwise.
  std::string OwnMountRootLocked(char letter);
  // The root of a volume of the latest look at the drives, mounting it when nobody has:
  // read-only for a look at the drives, read-write for a burn (a read-only mount of the
  // program's is then made again read-write). A mount whose FUSE process has died is
  // detached lazily and made again.
  std::string VolumeRootLocked(const TVolumeView& volume, bool writable, std::string& error);
  bool MountLocked(const TVolumeView& volume, char letter, bool writable, std::string& root,
                   std::string& error);
  bool RunMount(const std::string& type, const std::string& node, const std::string& dir,
                bool writable, std::string& error);
  // Detaches the program's own mount of `letter`; false with the reason when it stays.
  bool DropOwnMountLocked(char letter, std::string& error);
  bool Ntfs3Available();
  bool AttachLoop(const std::string& file, std::uint64_t offset, std::uint64_t size,
                  std::string& kernel_name, std::string& error);
  bool DetachLoop(const std::string& kernel_name, std::string& error);
  bool UnmountLocked(const std::string& mount_point, std::string& error);
  std::string ReleaseLocked(const std::string& disk_name);
  // Keeps the run folder's list of the loop devices this run attached up to date, so that
  // a later run can detach them when this one is killed; the folder goes when it holds
  // nothing any more.
  void RecordLoopsLocked();
  std::vector<TMountEntry> MountsOfDiskLocked(const TSnapshot& snapshot,
                                              const TDiskTarget& target) const;
  std::string MountRoot() const;
  std::string RunRoot() const;

  TDriveEnvironment FEnv;
  std::shared_ptr<IToolRunner> FRunner;
  std::shared_ptr<IVolumeProber> FProber;

  std::recursive_mutex FLock;
  std::map<char, TVolumeKey> FLetters;
  std::map<char, std::string> FKnownRoots;  // last root seen per letter, for LetterOfPath
  std::vector<TOwnMount> FMounts;
  std::vector<TOwnLoop> FLoops;
  std::vector<TImage> FImages;
  std::set<std::string> FBusyDisks;
  std::set<char> FSuspended;  // letters whose volume is being written directly
};

// Makes the run's table of USB drives and installs it as the letter table.
std::shared_ptr<TUSBDriveLetters> InstallUSBDriveLetters(TDriveEnvironment env = {});

// The installed table when it is the USB drive table; nullptr otherwise.
std::shared_ptr<TUSBDriveLetters> USBDriveLetters();

// Syncs and unmounts what the program mounted, through the installed table; empty when
// all went well or no USB drive table is installed.
std::string ReleaseProgramMounts();

}  // namespace quorvane
