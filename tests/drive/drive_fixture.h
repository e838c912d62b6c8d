// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A small world for the drive layer's tests: a fixture sysfs tree, device nodes that are
// plain files, mountinfo, swaps and filesystems files, a fake tool runner whose mounts
// show up in the fixture's mountinfo, and a prober that answers from a table.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/tool_runner.h"
#include "drive/usb_drive_letters.h"
#include "drive/volume_probe.h"

namespace quorvane::testing {

TToolResult ToolOk(const std::string& output = "");
TToolResult ToolFailed(const std::string& error_output, int status = 1);

class TFakeToolRunner : public IToolRunner {
 public:
  using THandler = std::function<TToolResult(const TToolCommand&)>;
  // Every call of `tool` goes to `handler`; tools without one succeed doing nothing.
  void On(const std::string& tool, THandler handler) { FHandlers[tool] = std::move(handler); }
  void Missing(const std::string& tool) { FMissing.insert(tool); }
  TToolResult Run(const TToolCommand& command) override;
  bool Available(const std::string& tool) override { return !FMissing.count(tool); }

  // "tool arg arg ..." of every call, in order.
  std::vector<std::string> Calls;
  // The calls of one tool.
  std::vector<std::string> CallsOf(const std::string& tool) const;

 private:
  std::map<std::string, THandler> FHandlers;
  std::set<std::string> FMissing;
};

class TFakeProber : public IVolumeProber {
 public:
  bool ProbeVolume(const std::string& node, std::uint64_t offset, std::uint64_t size,
                   TVolumeProbe& probe) override;
  bool ProbePartitions(const std::string& node,
                       std::vector<TProbedPartition>& partitions) override;
  std::map<std::string, TVolumeProbe> Volumes;  // by node (offset 0)
};

enum class TBus { Usb, Sata, Mmc };

struct TFixtureDisk {
  std::string Name;             // "sdb"
  std::string Dev;              // "8:16"
  TBus Bus = TBus::Usb;
  std::optional<std::uint64_t> Sectors = 2097152;  // none: the size cannot be read
  std::string Vendor = "Kingston", Model = "DataTraveler 3.0", Serial = "E0D55EA5";
  int UsbPort = 1;
  std::uint64_t NodeBytes = 0;  // the plain file standing in for its node (0: empty)
};

class TDriveWorld {
 public:
  explicit TDriveWorld(const std::string& root);

  TDriveEnvironment Environment() const;
  std::shared_ptr<TUSBDriveLetters> MakeTable();

  void AddDisk(const TFixtureDisk& disk);
  void AddPartition(const std::string& disk, int number, std::uint64_t start,
                    std::uint64_t sectors, const std::string& dev);
  void RemoveDisk(const std::string& disk);
  void AddMount(const std::string& dev, const std::string& mount_point, const std::string& type,
                const std::string& source);
  void SetSwaps(const std::vector<std::string>& areas);
  void SetFileSystems(const std::vector<std::string>& names);
  // The mount table reads as empty, without even the system's root.
  void LoseMountTable();
  // The regular file that stands for /dev/`name`.
  std::string Node(const std::string& name) const { return FRoot + "dev/" + name; }
  std::string MountRoot() const { return FRoot + "run"; }
  // The mounts added to the fixture (the system's root, which is always there, aside).
  std::string MountInfo() const;

  std::shared_ptr<TFakeToolRunner> Runner = std::make_shared<TFakeToolRunner>();
  std::shared_ptr<TFakeProber> Prober = std::make_shared<TFakeProber>();

 private:
  std::string DeviceDir(const std::string& disk) const;
  void WriteMountInfo() const;
  std::string FRoot;
  std::map<std::string, std::string> FDeviceDirs;  // disk name -> its folder under sys
  std::vector<std::string> FMountLines;
  int FNextMountId = 100;
};

}  // namespace quorvane::testing
