// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/efi_partition.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "common/file_writes.h"
#include "common/guid.h"
#include "common/resources.h"

namespace quorvane {

namespace {

constexpr std::uint64_t kMiB = 2048;  // sectors
constexpr std::uint64_t kFatStart = 20;
constexpr const char* kMarkerLine = "set qv_marker=";

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// mtools' image argument: the disk at the partition's byte offset.
std::string AtOffset(const std::string& node, std::uint64_t start) {
  return node + "@@" + std::to_string(start * 512);
}

TToolCommand Mtools(const std::string& tool, std::vector<std::string> args) {
  TToolCommand command{tool, std::move(args), ""};
  // A partition made by us has no geometry that mtools would check against.
  command.Environment = ToolEnvironment();
  command.Environment.push_back("MTOOLS_SKIP_CHECK=1");
  return command;
}

bool Run(IToolRunner& runner, const TToolCommand& command, std::string& error) {
  const TToolResult result = runner.Run(command);
  if (result.Succeeded()) return true;
  error = result.ErrorText();
  return false;
}

// A private folder for the files mcopy copies; removed with its contents.
class TPrivateDir {
 public:
  TPrivateDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/quorvane-efi-XXXXXX";
    if (::mkdtemp(pattern.data())) FPath = pattern;
  }
  ~TPrivateDir() {
    std::error_code ec;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
  }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace

bool PlanNewDriveLayout(std::int64_t disk_size, bool fat, TNewDriveLayout& layout,
                        std::string& error) {
  layout = {};
  if (disk_size < 0) {
    error = "the size of the disk cannot be read";
    return false;
  }
  const std::uint64_t sectors = static_cast<std::uint64_t>(disk_size) / 512;
  const std::uint64_t mib = static_cast<std::uint64_t>(disk_size) / (1024 * 1024);
  std::uint64_t end = sectors;  // the main partition ends before this sector
  if (mib >= 48) {
    layout.EfiSectors = (mib >= 1024 ? 32 : 16) * kMiB;
    layout.EfiStart = (sectors - layout.EfiSectors) / kMiB * kMiB;
    end = layout.EfiStart;
  }
  layout.MainStart = fat ? kFatStart : kMiB;
  if (end <= layout.MainStart + kMiB) {
    error = "the disk is too small";
    return false;
  }
  // FAT32 keeps whole MiB from sector 20; NTFS takes all up to the EFI partition.
  layout.MainSectors = fat ? (end - layout.MainStart) / kMiB * kMiB : end - layout.MainStart;
  if (layout.MainSectors == 0) {
    error = "the disk is too small";
    return false;
  }
  return true;
}

std::int64_t NewDriveEfiReserve(std::int64_t disk_size) {
  if (disk_size <= 0) return 0;
  const std::uint64_t mib = static_cast<std::uint64_t>(disk_size) / (1024 * 1024);
  if (mib < 48) return 0;
  const std::uint64_t sectors = static_cast<std::uint64_t>(disk_size) / 512;
  const std::uint64_t efi = (mib >= 1024 ? 32 : 16) * kMiB;
  const std::uint64_t start = (sectors - efi) / kMiB * kMiB;
  return static_cast<std::int64_t>((sectors - start) * 512);
}

std::string NewDrivePartitionScript(const TNewDriveLayout& layout, bool fat) {
  std::string script = "label: dos\nstart=" + std::to_string(layout.MainStart) +
                       ", size=" + std::to_string(layout.MainSectors) + ", type=" +
                       (fat ? "c" : "7") + ", bootable\n";
  if (layout.EfiSectors)
    script += "start=" + std::to_string(layout.EfiStart) + ", size=" +
              std::to_string(layout.EfiSectors) + ", type=ef\n";
  return script;
}

bool FindEfiPartitionEntry(const unsigned char* s, std::uint64_t& start, std::uint64_t& sectors) {
  if (s[510] != 0x55 || s[511] != 0xAA) return false;
  for (int i = 0; i < 4; ++i) {
    const unsigned char* e = s + 446 + 16 * i;
    if (e[4] != 0xEF) continue;
    start = Le32(e + 8);
    sectors = Le32(e + 12);
    if (start != 0 && sectors != 0) return true;
  }
  return false;
}

std::string NewEfiMarkerPath() {
  std::string hex;
  for (char c : NewGuidRegistryForm())
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += static_cast<char>(std::tolower(c));
  return "/Quorvane/efi-" + hex.substr(0, 16) + ".id";
}

std::string EfiBootConfig(const std::string& marker) {
  return "# Written by Quorvane: finds this drive's main partition by the file below and\n"
         "# loads the UEFI menu kept there beside menu.lst.\n" +
         std::string(kMarkerLine) + "'" + marker + "'\n" +
         "unset qv_main\n"
         "regexp --set=1:qv_disk '^\\((hd[0-9]+)[,)]' \"$cmdpath\"\n"
         "if [ -n \"$qv_disk\" ]; then\n"
         "  if [ -f \"($qv_disk,msdos1)$qv_marker\" ]; then set qv_main=\"$qv_disk,msdos1\"; fi\n"
         "fi\n"
         "if [ -z \"$qv_main\" ]; then search --no-floppy --file --set=qv_main \"$qv_marker\"; fi\n"
         "if [ -z \"$qv_main\" ]; then\n"
         "  echo \"The main partition of this drive (with $qv_marker) was not found.\"\n"
         "  echo 'Press Enter for the command line.'\n"
         "  read\n"
         "else\n"
         "  set root=\"$qv_main\"\n"
         "  export qv_main\n"
         "  configfile \"($qv_main)/grub.cfg\"\n"
         "fi\n";
}

std::string EfiMarkerOfConfig(const std::string& config) {
  static const std::regex line("(^|\\n)set qv_marker='(/Quorvane/efi-[0-9a-f]{16}\\.id)'\\n");
  std::smatch m;
  if (config.rfind("# Written by Quorvane", 0) != 0 || !std::regex_search(config, m, line))
    return {};
  return m[2].str();
}

bool MakeEfiFileSystem(IToolRunner& runner, const std::string& disk_node, std::uint64_t start,
                       std::uint64_t sectors, std::string& error) {
  // -I: the disk node holds partitions; the block count is in KiB.
  const std::string at = std::to_string(start);
  return Run(runner,
             {"mkfs.fat",
              {"-F", "16", "-n", "QUORVANEEFI", "-I", "--offset", at, "-h", at, disk_node,
               std::to_string(sectors / 2)},
              ""},
             error);
}

bool FillEfiPartition(IToolRunner& runner, const std::string& disk_node, std::uint64_t start,
                      const std::string& marker, std::string& error) {
  const std::string image = ResourcePath(kEfiImageResource);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(image, ec)) {
    error = "the UEFI boot loader " + image + " is missing";
    return false;
  }
  TPrivateDir dir;
  if (dir.Path().empty()) {
    error = "no private folder for the EFI partition's files can be made";
    return false;
  }
  const std::string config = dir.Path() + "/grub.cfg";
  if (!WriteFileFlushed(config, EfiBootConfig(marker), error)) return false;
  const std::string at = AtOffset(disk_node, start);
  // The folders may be there already (mode add): mmd is asked only for missing ones.
  const TToolResult listed = runner.Run(Mtools("mdir", {"-i", at, "-b", "::/EFI/BOOT"}));
  if (!listed.Succeeded()) {
    const TToolResult efi = runner.Run(Mtools("mdir", {"-i", at, "-b", "::/EFI"}));
    if (!efi.Succeeded() && !Run(runner, Mtools("mmd", {"-i", at, "::/EFI"}), error)) return false;
    if (!Run(runner, Mtools("mmd", {"-i", at, "::/EFI/BOOT"}), error)) return false;
  }
  return Run(runner, Mtools("mcopy", {"-i", at, "-o", image, "::/EFI/BOOT/BOOTX64.EFI"}), error) &&
         Run(runner, Mtools("mcopy", {"-i", at, "-o", config, "::/EFI/BOOT/grub.cfg"}), error);
}

std::string ReadEfiMarker(IToolRunner& runner, const std::string& disk_node, std::uint64_t start) {
  TToolCommand read = Mtools("mtype", {"-i", AtOffset(disk_node, start), "::/EFI/BOOT/grub.cfg"});
  read.Limit = std::chrono::seconds(30);
  const TToolResult result = runner.Run(read);
  if (!result.Succeeded()) return {};
  return EfiMarkerOfConfig(result.Output);
}

}  // namespace quorvane
