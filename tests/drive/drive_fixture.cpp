// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace quorvane::testing {

namespace fs = std::filesystem;

TToolResult ToolOk(const std::string& output) {
  TToolResult r;
  r.Started = true;
  r.ExitStatus = 0;
  r.Output = output;
  return r;
}

TToolResult ToolFailed(const std::string& error_output, int status) {
  TToolResult r;
  r.Started = true;
  r.ExitStatus = status;
  r.ErrorOutput = error_output;
  return r;
}

TToolResult TFakeToolRunner::Run(const TToolCommand& command) {
  std::string line = command.Tool;
  for (const std::string& a : command.Args) line += " " + a;
  Calls.push_back(line);
  TToolResult result;
  if (FMissing.count(command.Tool)) {
    result.StartError = command.Tool + " is not installed";
  } else {
    auto it = FHandlers.find(command.Tool);
    result = it == FHandlers.end() ? ToolOk() : it->second(command);
  }
  result.CommandLine = "/usr/sbin/" + line;
  return result;
}

std::vector<std::string> TFakeToolRunner::CallsOf(const std::string& tool) const {
  std::vector<std::string> out;
  for (const std::string& c : Calls)
    if (c == tool || c.compare(0, tool.size() + 1, tool + " ") == 0) out.push_back(c);
  return out;
}

bool TFakeProber::ProbeVolume(const std::string& node, std::uint64_t offset, std::uint64_t,
                              TVolumeProbe& probe) {
  auto it = Volumes.find(offset ? node + "@" + std::to_string(offset) : node);
  if (it == Volumes.end()) return false;
  probe = it->second;
  return true;
}

bool TFakeProber::ProbePartitions(const std::string&, std::vector<TProbedPartition>& partitions) {
  partitions.clear();
  return false;
}

namespace {

void Put(const std::string& path, const std::string& content) { WriteFile(path, content + "\n"); }

}  // namespace

TDriveWorld::TDriveWorld(const std::string& root) : FRoot(root) {
  fs::create_directories(FRoot + "sys/block");
  fs::create_directories(FRoot + "dev");
  fs::create_directories(FRoot + "run");
  WriteMountInfo();
  WriteFile(FRoot + "swaps", "Filename\tType\tSize\tUsed\tPriority\n");
  SetFileSystems({"ext4", "fuseblk", "vfat"});

  // Mounting creates a mountinfo line; unmounting removes it.
  const auto mount = [this](const TToolCommand& c) {
    const std::string& dir = c.Args.back();
    const std::string& node = c.Args[c.Args.size() - 2];
    std::string type = "fuseblk";
    for (std::size_t i = 0; i + 1 < c.Args.size(); ++i)
      if (c.Args[i] == "-t") type = c.Args[i + 1];
    AddMount("0:" + std::to_string(FNextMountId), dir, type, node);
    return ToolOk();
  };
  Runner->On("mount", mount);
  Runner->On("ntfs-3g", mount);
  Runner->On("umount", [this](const TToolCommand& c) {
    const std::string needle = " " + c.Args.back() + " ";
    const auto before = FMountLines.size();
    std::erase_if(FMountLines, [&](const std::string& l) { return l.find(needle) != std::string::npos; });
    if (FMountLines.size() == before) return ToolFailed("umount: " + c.Args.back() + ": not mounted.", 32);
    WriteMountInfo();
    // What was written there lives on the volume, which is gone from the folder now.
    if (c.Args.back().rfind(MountRoot(), 0) == 0)
      for (const fs::directory_entry& e : fs::directory_iterator(c.Args.back())) fs::remove_all(e.path());
    return ToolOk();
  });
}

TDriveEnvironment TDriveWorld::Environment() const {
  TDriveEnvironment env;
  env.SysRoot = FRoot + "sys";
  env.MountInfoPath = FRoot + "mountinfo";
  env.SwapsPath = FRoot + "swaps";
  env.FileSystemsPath = FRoot + "filesystems";
  env.ModulesDir = FRoot + "modules";
  env.DevRoot = FRoot + "dev";
  env.MountRoot = MountRoot();
  env.PartitionWait = std::chrono::milliseconds(300);
  return env;
}

std::shared_ptr<TUSBDriveLetters> TDriveWorld::MakeTable() {
  return std::make_shared<TUSBDriveLetters>(Environment(), Runner, Prober);
}

std::string TDriveWorld::DeviceDir(const std::string& disk) const {
  auto it = FDeviceDirs.find(disk);
  return it == FDeviceDirs.end() ? std::string() : it->second;
}

void TDriveWorld::AddDisk(const TFixtureDisk& d) {
  std::string parent, scsi;
  const std::string sys = FRoot + "sys/";
  switch (d.Bus) {
    case TBus::Usb: {
      const std::string port = "1-" + std::to_string(d.UsbPort);
      const std::string usb_device = "devices/pci0000:00/0000:00:14.0/usb1/" + port;
      Put(sys + usb_device + "/idVendor", "0951");
      Put(sys + usb_device + "/serial", d.Serial);
      Put(sys + usb_device + "/manufacturer", d.Vendor);
      Put(sys + usb_device + "/product", d.Model);
      const std::string host = std::to_string(5 + d.UsbPort);
      scsi = usb_device + "/" + port + ":1.0/host" + host + "/target" + host + ":0:0/" + host + ":0:0:0";
      break;
    }
    case TBus::Sata:
      scsi = "devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
      break;
    case TBus::Mmc:
      scsi = "devices/pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:0001";
      break;
  }
  if (d.Bus != TBus::Mmc) {
    Put(sys + scsi + "/vendor", d.Vendor + "    ");
    Put(sys + scsi + "/model", d.Model);
  }
  const std::string dir = scsi + "/block/" + d.Name;
  fs::create_directories(sys + dir);
  Put(sys + dir + "/dev", d.Dev);
  if (d.Sectors) Put(sys + dir + "/size", std::to_string(*d.Sectors));
  Put(sys + dir + "/ro", "0");
  fs::create_directory_symlink("../..", sys + dir + "/device");
  fs::create_directory_symlink("../" + dir, sys + "block/" + d.Name);
  FDeviceDirs[d.Name] = sys + dir;
  if (!Exists(Node(d.Name))) std::ofstream(Node(d.Name), std::ios::binary).close();
  if (d.NodeBytes) fs::resize_file(Node(d.Name), d.NodeBytes);
}

void TDriveWorld::AddPartition(const std::string& disk, int number, std::uint64_t start,
                               std::uint64_t sectors, const std::string& dev) {
  const std::string name = disk + std::to_string(number);
  const std::string dir = DeviceDir(disk) + "/" + name;
  Put(dir + "/partition", std::to_string(number));
  Put(dir + "/start", std::to_string(start));
  Put(dir + "/size", std::to_string(sectors));
  Put(dir + "/dev", dev);
  if (!Exists(Node(name))) std::ofstream(Node(name), std::ios::binary).close();
}

void TDriveWorld::RemoveDisk(const std::string& disk) {
  fs::remove(FRoot + "sys/block/" + disk);
  fs::remove_all(DeviceDir(disk));
  FDeviceDirs.erase(disk);
}

void TDriveWorld::AddMount(const std::string& dev, const std::string& mount_point,
                           const std::string& type, const std::string& source) {
  std::string escaped;
  for (char c : mount_point) escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
  const int id = FNextMountId++;
  FMountLines.push_back(std::to_string(id) + " 1 " + dev + " / " + escaped +
                        " rw,relatime shared:" + std::to_string(id) + " - " + type + " " + source +
                        " rw");
  WriteMountInfo();
}

void TDriveWorld::WriteMountInfo() const {
  // The system's root, on no disk of the fixture.
  WriteFile(FRoot + "mountinfo", "1 0 0:20 / / rw,relatime - overlay overlay rw\n" + MountInfo());
}

void TDriveWorld::LoseMountTable() { WriteFile(FRoot + "mountinfo", ""); }

std::string TDriveWorld::MountInfo() const {
  std::string text;
  for (const std::string& l : FMountLines) text += l + "\n";
  return text;
}

void TDriveWorld::SetSwaps(const std::vector<std::string>& areas) {
  std::string text = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";
  for (const std::string& a : areas) text += a + "\t\t\t\tpartition\t1048572\t\t0\t\t-2\n";
  WriteFile(FRoot + "swaps", text);
}

void TDriveWorld::SetFileSystems(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (n == "ext4" || n == "vfat" ? "\t" : "nodev\t") + n + "\n";
  WriteFile(FRoot + "filesystems", text);
}

}  // namespace quorvane::testing
