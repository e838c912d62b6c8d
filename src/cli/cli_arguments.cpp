// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_arguments.h"

#include <charconv>
#include <cstdio>
#include <limits>

#include "common/constants.h"
#include "common/text.h"
#include "loaders/loader_catalog.h"

namespace quorvane {

namespace {

// The option's value: "--opt=value" or the next argument.
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               const std::string& inline_value, bool has_inline, std::string& value,
               std::string& error) {
  if (has_inline) {
    value = inline_value;
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    error = name + " needs a value";
    return false;
  }
  if (value.empty()) {
    error = name + " needs a value";
    return false;
  }
  return true;
}

// The value of an option that may be given once.
bool TakeValueOnce(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                   const std::string& inline_value, bool has_inline, bool& given,
                   std::string& value, std::string& error) {
  if (!TakeValue(args, i, name, inline_value, has_inline, value, error)) return false;
  if (given) {
    error = name + " is given twice";
    return false;
  }
  given = true;
  return true;
}

// An option that takes no value.
bool SetFlag(const std::string& name, bool has_inline, bool& flag, std::string& error) {
  if (has_inline) {
    error = name + " takes no value";
    return false;
  }
  flag = true;
  return true;
}

// "--opt=value" split into the option and its value (true); else the argument as it is.
bool SplitOption(const std::string& arg, std::string& name, std::string& inline_value) {
  const std::size_t eq = arg.find('=');
  if (arg.rfind("--", 0) != 0 || eq == std::string::npos) {
    name = arg;
    inline_value.clear();
    return false;
  }
  name = arg.substr(0, eq);
  inline_value = arg.substr(eq + 1);
  return true;
}

bool ParseDriveLetter(const std::string& value, char& drive, std::string& error) {
  const std::string letter = LowerAscii(value);
  if (letter.size() != 1 || letter[0] < 'a' || letter[0] > 'z') {
    error = "--drive takes a drive letter as `quorvane-cli drives` lists it, not \"" + value + "\"";
    return false;
  }
  drive = letter[0];
  return true;
}

// A whole number from `low` to `high`, digits only.
bool ParseNumber(const std::string& text, int low, int high, int& number) {
  const auto [rest, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && ec == std::errc() && rest == text.data() + text.size() && number >= low &&
         number <= high;
}

// Exactly one of --drive and --image names what `verb` works on.
bool OneTarget(const TCliCommand& command, const std::string& verb, std::string& error) {
  if (command.Drive && !command.Image.empty()) {
    error = "give either --drive or --image, not both";
    return false;
  }
  if (!command.Drive && command.Image.empty()) {
    error = verb + " needs --drive LETTER or --image FILE";
    return false;
  }
  return true;
}

bool ParseVerify(const std::vector<std::string>& args, TCliCommand& command, std::string& error) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string name, inline_value, value;
    const bool has_inline = SplitOption(args[i], name, inline_value);
    if (name == "--json" && !has_inline) {
      command.Json = true;
      continue;
    }
    if (name != "--drive" && name != "--image") {
      error = "unknown argument \"" + args[i] + "\" for verify";
      return false;
    }
    if (name == "--drive" ? command.Drive != 0 : !command.Image.empty()) {
      error = name + " is given twice";
      return false;
    }
    if (!TakeValue(args, i, name, inline_value, has_inline, value, error)) return false;
    if (name == "--image")
      command.Image = value;
    else if (!ParseDriveLetter(value, command.Drive, error))
      return false;
  }
  return OneTarget(command, "verify", error);
}

bool ParseBurn(const std::vector<std::string>& args, TCliCommand& command, std::string& error) {
  bool drive_given = false, image_given = false, size_given = false, mode_given = false;
  bool fs_given = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string name, inline_value;
    const bool has_inline = SplitOption(args[i], name, inline_value);
    std::string value;
    const auto take = [&] {
      return TakeValue(args, i, name, inline_value, has_inline, value, error);
    };
    const auto take_once = [&](bool& given) {
      return TakeValueOnce(args, i, name, inline_value, has_inline, given, value, error);
    };
    const auto set = [&](bool& flag) { return SetFlag(name, has_inline, flag, error); };
    if (name == "--yes" || name == "-y") {
      if (!set(command.Yes)) return false;
    } else if (name == "--check-capacity") {
      if (!set(command.CheckCapacity)) return false;
    } else if (name == "--no-verify") {
      if (!set(command.NoVerify)) return false;
    } else if (name == "--json") {
      if (!set(command.Json)) return false;
    } else if (name == "--force") {
      if (!set(command.Force)) return false;
    } else if (name == "--drive") {
      if (!take_once(drive_given) || !ParseDriveLetter(value, command.Drive, error)) return false;
    } else if (name == "--image") {
      if (!take_once(image_given)) return false;
      command.Image = value;
    } else if (name == "--size") {
      if (!take_once(size_given)) return false;
      if (!ParseByteCount(value, command.Size)) {
        error = "--size takes a byte count such as 67108864 or 64M, not \"" + value + "\"";
        return false;
      }
      if (command.Size < kSmallestImageDrive) {
        error = "--size: an image drive needs at least 16M";
        return false;
      }
    } else if (name == "--mode") {
      if (!take_once(mode_given)) return false;
      if (value == "new") {
        command.Mode = FormatModeNew;
      } else if (value == "add") {
        command.Mode = FormatModeAdd;
      } else {
        error = "--mode takes new or add, not \"" + value + "\"";
        return false;
      }
    } else if (name == "--fs") {
      if (!take_once(fs_given)) return false;
      const std::string fs = LowerAscii(value);
      if (fs == "fat32") {
        command.FileSystem = FileSystemFAT32;
      } else if (fs == "ntfs") {
        command.FileSystem = FileSystemNTFS;
      } else {
        error = "--fs takes fat32 or ntfs, not \"" + value + "\"";
        return false;
      }
    } else if (name == "--entry") {
      if (!take()) return false;
      TCliEntry entry;
      if (!ParseCliEntry(value, entry, error)) return false;
      command.Entries.push_back(entry);
    } else {
      error = "unknown argument \"" + args[i] + "\" for burn";
      return false;
    }
  }
  if (!OneTarget(command, "burn", error)) return false;
  if (size_given && command.Image.empty()) {
    error = "--size applies to --image only";
    return false;
  }
  if (!mode_given) {
    error = "burn needs --mode new or --mode add";
    return false;
  }
  if (command.FileSystem && command.Mode != FormatModeNew) {
    error = "--fs applies to --mode new only: mode add keeps the drive's file system";
    return false;
  }
  if (command.CheckCapacity && command.Mode != FormatModeNew) {
    error = "--check-capacity applies to --mode new only: mode add repartitions nothing";
    return false;
  }
  if (command.Entries.empty()) {
    error = "burn needs at least one --entry CODE:PATH";
    return false;
  }
  if (command.Force && !command.Yes) {
    error = "--force applies with --yes only: without it the question shows the drive's mounts";
    return false;
  }
  return true;
}

bool ParseSetupBootImages(const std::vector<std::string>& args, TCliCommand& command,
                          std::string& error) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string name, inline_value;
    const bool has_inline = SplitOption(args[i], name, inline_value);
    std::string* field = name == "--from" ? &command.From : name == "--to" ? &command.To : nullptr;
    if (!field) {
      error = "unknown argument \"" + args[i] + "\" for setup-boot-images";
      return false;
    }
    if (!field->empty()) {
      error = name + " is given twice";
      return false;
    }
    if (!TakeValue(args, i, name, inline_value, has_inline, *field, error)) return false;
  }
  if (command.From.empty()) {
    error = "setup-boot-images needs --from ZIP_OR_FOLDER";
    return false;
  }
  return true;
}

bool ParseTestBoot(const std::vector<std::string>& args, TCliCommand& command,
                   std::string& error) {
  bool drive_given = false, image_given = false, entry_given = false, wait_given = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string name, inline_value;
    const bool has_inline = SplitOption(args[i], name, inline_value);
    std::string value;
    const auto take_once = [&](bool& given) {
      return TakeValueOnce(args, i, name, inline_value, has_inline, given, value, error);
    };
    const auto set = [&](bool& flag) { return SetFlag(name, has_inline, flag, error); };
    if (name == "--drive") {
      if (!take_once(drive_given) || !ParseDriveLetter(value, command.Drive, error)) return false;
    } else if (name == "--image") {
      if (!take_once(image_given)) return false;
      command.Image = value;
    } else if (name == "--uefi") {
      if (!set(command.Uefi)) return false;
    } else if (name == "--no-window") {
      if (!set(command.NoWindow)) return false;
    } else if (name == "--entry") {
      if (!take_once(entry_given)) return false;
      std::size_t from = 0;
      for (;;) {
        const std::size_t comma = value.find(',', from);
        const std::string part = value.substr(from, comma == std::string::npos ? comma : comma - from);
        int number = 0;
        if (!ParseNumber(part, 1, kMaxMenuItem, number) || command.MenuEntry.size() >= 8) {
          error = "--entry takes menu entries by number from 1, such as 2 or 2,1, not \"" + value +
                  "\"";
          return false;
        }
        command.MenuEntry.push_back(number);
        if (comma == std::string::npos) break;
        from = comma + 1;
      }
    } else if (name == "--wait") {
      if (!take_once(wait_given)) return false;
      if (!ParseNumber(value, 1, kMaxWaitSeconds, command.WaitSeconds)) {
        error = "--wait takes seconds from 1 to " + std::to_string(kMaxWaitSeconds) + ", not \"" +
                value + "\"";
        return false;
      }
    } else {
      error = "unknown argument \"" + args[i] + "\" for test-boot";
      return false;
    }
  }
  if (!OneTarget(command, "test-boot", error)) return false;
  if (wait_given && !entry_given) {
    error = "--wait applies with --entry only";
    return false;
  }
  return true;
}

}  // namespace

bool ParseByteCount(const std::string& text, std::int64_t& bytes) {
  std::uint64_t number = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  const auto [rest, ec] = std::from_chars(begin, end, number);
  if (ec != std::errc() || rest == begin) return false;
  const std::string suffix = LowerAscii(std::string(rest, end));
  int shift = 0;
  if (!suffix.empty()) {
    const std::string unit = suffix.substr(0, 1);
    const std::string tail = suffix.substr(1);
    if (tail != "" && tail != "ib") return false;
    if (unit == "k")
      shift = 10;
    else if (unit == "m")
      shift = 20;
    else if (unit == "g")
      shift = 30;
    else if (unit == "t")
      shift = 40;
    else
      return false;
  }
  const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (number == 0 || number > (limit >> shift)) return false;
  bytes = static_cast<std::int64_t>(number << shift);
  return true;
}

bool ParseCliEntry(const std::string& text, TCliEntry& entry, std::string& error) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) {
    error = "--entry takes CODE:PATH, such as 5:ubuntu.iso, not \"" + text + "\"";
    return false;
  }
  const std::string code = text.substr(0, colon);
  int value = -1;
  const auto [rest, ec] = std::from_chars(code.data(), code.data() + code.size(), value);
  if (code.empty() || ec != std::errc() || rest != code.data() + code.size() ||
      !IsLoaderType(value)) {
    error = "--entry \"" + text + "\": the loader type must be a number from 0 to 9";
    return false;
  }
  entry.Code = value;
  entry.Path = text.substr(colon + 1);
  if (entry.Path.empty()) {
    error = "--entry \"" + text + "\" names no image file";
    return false;
  }
  return true;
}

bool ParseCliArguments(const std::vector<std::string>& args, TCliCommand& command,
                       std::string& error) {
  command = TCliCommand{};
  error.clear();
  if (args.empty()) {
    error = "no command given";
    return false;
  }
  const std::string& verb = args[0];
  if (verb == "--help" || verb == "-h" || verb == "help") {
    if (args.size() > 1) {
      error = "help takes no arguments";
      return false;
    }
    command.Action = TCliAction::Help;
    return true;
  }
  if (verb == "--version" || verb == "version") {
    if (args.size() > 1) {
      error = "--version takes no arguments";
      return false;
    }
    command.Action = TCliAction::Version;
    return true;
  }
  if (verb == "setup-boot-images") {
    command.Action = TCliAction::SetupBootImages;
    return ParseSetupBootImages(args, command, error);
  }
  if (verb == "drives") {
    command.Action = TCliAction::Drives;
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--bytes") {
        command.Bytes = true;
      } else if (args[i] == "--json") {
        command.Json = true;
      } else {
        error = "unknown argument \"" + args[i] + "\" for drives";
        return false;
      }
    }
    return true;
  }
  if (verb == "verify") {
    command.Action = TCliAction::Verify;
    return ParseVerify(args, command, error);
  }
  if (verb == "test-boot") {
    command.Action = TCliAction::TestBoot;
    return ParseTestBoot(args, command, error);
  }
  if (verb == "burn") {
    command.Action = TCliAction::Burn;
    return ParseBurn(args, command, error);
  }
  error = "unknown command \"" + verb + "\"";
  return false;
}

std::string CliUsage() {
  std::string text =
      "Usage:\n"
      "  quorvane-cli drives [--bytes] [--json]\n"
      "  quorvane-cli burn (--drive LETTER | --image FILE [--size BYTES]) --mode new|add\n"
      "                    [--fs fat32|ntfs] [--check-capacity] [--no-verify]\n"
      "                    --entry CODE:PATH [--entry CODE:PATH ...] [--yes [--force]]\n"
      "                    [--json]\n"
      "  quorvane-cli verify (--drive LETTER | --image FILE) [--json]\n"
      "  quorvane-cli test-boot (--drive LETTER | --image FILE) [--uefi]\n"
      "                         [--entry N[,M...] [--wait SECONDS]] [--no-window]\n"
      "  quorvane-cli setup-boot-images --from ZIP_OR_FOLDER [--to FOLDER]\n"
      "  quorvane-cli --help | --version\n"
      "\n"
      "drives lists the USB drives: letter, device, vendor and model, label, file system,\n"
      "free and full size (in GiB, or in bytes with --bytes); --json prints one JSON\n"
      "object instead (docs/cli-json.md).\n"
      "\n"
      "burn makes a drive boot into a GRUB4DOS menu with one item per --entry:\n"
      "  --drive LETTER     a USB drive, by the letter that `quorvane-cli drives` shows\n"
      "  --image FILE       a disk image file instead; with --size it is created at that\n"
      "                     size when it does not exist (suffixes K, M, G, T: powers of 1024)\n"
      "  --mode new         repartition and format the drive: ALL data on it is erased\n"
      "  --mode add         keep the drive's data, replace its boot code, add the entries\n"
      "  --fs fat32|ntfs    file system of a new drive; by default the one the entries need\n"
      "  --check-capacity   with --mode new: first check that the drive really holds what it\n"
      "                     claims (a few hundred blocks written and read back across it,\n"
      "                     their contents kept; seconds on most drives); a drive that\n"
      "                     fails is not repartitioned\n"
      "  --no-verify        do not read each entry's files back from the drive and compare\n"
      "                     them with what was written before the entry joins the menu\n"
      "                     (their digests still go into Quorvane/manifest.json)\n"
      "  --entry CODE:PATH  one boot entry: loader type and image file, in menu order\n"
      "  --yes              burn without asking for confirmation\n"
      "  --force            with --yes: burn also a drive that is mounted where this program\n"
      "                     did not mount it (by the desktop, another program or user)\n"
      "  --json             one JSON object per line for scripts: the plan, the progress\n"
      "                     (with bytes per second and seconds left), the result\n"
      "\n"
      "verify checks a drive that burn wrote against the manifest burn keeps on it\n"
      "(Quorvane/manifest.json): every file it names is read back from the drive and\n"
      "its SHA-256 compared, and each entry is told intact, changed or missing; entry\n"
      "folders the manifest does not name are listed as not recorded. The drive is\n"
      "mounted read-only when nobody has mounted it; --json prints one JSON object per\n"
      "entry and a result line.\n"
      "\n"
      "test-boot starts the drive in a virtual machine (QEMU) and never writes it: what\n"
      "the machine writes goes to a temporary overlay, the disk is opened read-only, and\n"
      "QEMU runs as the desktop user (or nobody), not as root. It needs the package\n"
      "qemu-system-x86, and ovmf for --uefi; it is slow without KVM.\n"
      "  --drive LETTER     a USB drive, by the letter that `quorvane-cli drives` shows\n"
      "  --image FILE       a disk image file instead\n"
      "  --uefi             boot under UEFI (OVMF) instead of BIOS (SeaBIOS)\n"
      "  --no-window        print the boot menu's text instead of showing QEMU's window\n"
      "                     (so too when there is no display)\n"
      "  --entry N[,M...]   choose entry N of the menu (numbered as printed), then entry M\n"
      "                     of the menu that follows, and tell what it reached: the last\n"
      "                     lines of the screen and the serial port, a boot loader's\n"
      "                     error, whether the machine still runs\n"
      "  --wait SECONDS     with --entry: how long to wait for it (default 60, or 180\n"
      "                     without KVM)\n"
      "Exit status of test-boot: 0 when the boot menu showed and the chosen entries\n"
      "started without a boot loader's error; 1 when the machine could not be run, no\n"
      "menu showed, an entry was missing or a boot loader's error showed; 2 for bad\n"
      "arguments.\n"
      "\n"
      "setup-boot-images installs GRUB4DOS's boot images (grldr, grldr.mbr), which burn\n"
      "writes and the package does not carry, after checking them against the pinned\n"
      "release GRUB4DOS 0.4.6a:\n"
      "  --from ZIP_OR_FOLDER  the release's zip file (grub4dos-0.4.6a-2019-12-24.zip), or\n"
      "                        a folder holding the two files\n"
      "  --to FOLDER           where to install them; by default /var/lib/quorvane\n"
      "\n"
      "burn, verify --image, test-boot --drive and setup-boot-images (into\n"
      "/var/lib/quorvane) need root;\n"
      "drives shows what it can without, and verify --drive reads a drive that is\n"
      "mounted already.\n"
      "\n"
      "Loader types:\n";
  for (int code = 0; code < kLoaderCount; ++code) {
    char line[96];
    std::snprintf(line, sizeof line, "  %d  %s\n", code, LoaderNames[code]);
    text += line;
  }
  text +=
      "\n"
      "Exit status: 0 when every entry finished; 1 when the burn was refused or declined,\n"
      "the drive step failed, or an entry did not finish; 2 for bad arguments, and then\n"
      "nothing is written. verify: 0 only when the manifest is sound and every entry it\n"
      "names is intact, 1 otherwise, 2 for bad arguments.\n";
  return text;
}

}  // namespace quorvane
