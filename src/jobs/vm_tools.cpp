// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/vm_tools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/tool_runner.h"

namespace quorvane {
namespace {

bool RegularFile(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string FindVmTools(bool uefi, TVmTools& tools) {
  tools = {};
  tools.Qemu = FindTool("qemu-system-x86_64");
  if (tools.Qemu.empty())
    return "QEMU is not installed: install the package qemu-system-x86 to test a drive in a "
           "virtual machine";
  if (uefi) {
    // Debian's ovmf package: the 2 MiB build first, the 4 MiB one where only it is there.
    for (const auto& [code, vars] :
         {std::pair{"/usr/share/OVMF/OVMF_CODE.fd", "/usr/share/OVMF/OVMF_VARS.fd"},
          std::pair{"/usr/share/OVMF/OVMF_CODE_4M.fd", "/usr/share/OVMF/OVMF_VARS_4M.fd"}}) {
      if (RegularFile(code) && RegularFile(vars)) {
        tools.OvmfCode = code;
        tools.OvmfVars = vars;
        break;
      }
    }
    if (tools.OvmfCode.empty())
      return "The UEFI firmware for virtual machines is not installed: install the package ovmf";
  }
  const int kvm = ::open("/dev/kvm", O_RDWR | O_CLOEXEC);
  if (kvm >= 0) {
    tools.Kvm = true;
    ::close(kvm);
  }
  return {};
}

}  // namespace quorvane
