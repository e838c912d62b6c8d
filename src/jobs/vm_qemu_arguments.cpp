// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/tool_runner.h"
#include "jobs/linux_vm_process.h"
#include "jobs/vm_machine.h"

namespace quorvane {

namespace {

using namespace std::chrono_literals;

std::string FdSet(int set) { return "/dev/fdset/" + std::to_string(set); }

}  // namespace

std::vector<std::string> VmQemuArguments(const TVmMachineSetup& setup, const TVmTools& tools) {
  std::vector<std::string> args{"-nodefaults", "-name", setup.Title.empty() ? "Quorvane" : setup.Title,
                                "-m", std::to_string(setup.MemoryMiB), "-vga", "std"};
  if (setup.Kvm) args.insert(args.end(), {"-accel", "kvm"});
  args.insert(args.end(), {"-accel", "tcg"});
  args.insert(args.end(), {"-display", setup.Window.empty() ? "none" : setup.Window});
  // A detached machine is the user's to restart; an attached one ends where the guest
  // would restart, so that what it reached stays on the screen.
  if (!setup.Detached) args.push_back("-no-reboot");
  std::size_t file = 0;
  int set = 1;
  // Each file as an fd set: QEMU opens "/dev/fdset/N" by taking the handed-over file
  // whose access mode fits, so a read-only disk cannot be opened for writing at all.
  const auto hand_over = [&](const std::string& name, int files) {
    const int this_set = set++;
    for (int i = 0; i < files; ++i)
      args.insert(args.end(), {"-add-fd", "fd=" + std::to_string(HandedOverFile(file++)) +
                                              ",set=" + std::to_string(this_set) + ",opaque=" + name});
    return FdSet(this_set);
  };
  if (!setup.Disk.empty())
    args.insert(args.end(), {"-drive", "file=" + hand_over("disk", 1) + ",format=raw,snapshot=on"});
  if (!setup.Cdrom.empty())
    args.insert(args.end(),
                {"-drive", "file=" + hand_over("cdrom", 1) + ",format=raw,media=cdrom,readonly=on"});
  if (setup.Uefi) {
    args.insert(args.end(), {"-drive", "if=pflash,format=raw,readonly=on,file=" + tools.OvmfCode});
    args.insert(args.end(), {"-drive", "if=pflash,format=raw,file=" + hand_over("vars", 2)});
  }
  if (!setup.Detached) {
    const int monitor = HandedOverFile(file++), serial = HandedOverFile(file++);
    args.insert(args.end(),
                {"-chardev", "socket,id=monitor,fd=" + std::to_string(monitor), "-mon",
                 "chardev=monitor,mode=readline", "-chardev",
                 "socket,id=serial,fd=" + std::to_string(serial), "-serial", "chardev:serial"});
  }
  return args;
}

std::string VmWindowKind(const TVmTools& tools, std::string& missing) {
  TSystemToolRunner runner;
  TToolCommand command;
  command.Program = tools.Qemu;
  command.Args = {"-display", "help"};
  command.Limit = 30s;
  const TToolResult result = runner.Run(command);
  if (result.Succeeded()) {
    for (const char* kind : {"gtk", "sdl"})
      if (("\n" + result.Output).find(std::string("\n") + kind + "\n") != std::string::npos)
        return kind;
    missing = "QEMU's window is not installed: install the package qemu-system-gui";
  } else {
    missing = "QEMU does not say which windows it offers: " + result.ErrorText();
  }
  return {};
}

}  // namespace quorvane
