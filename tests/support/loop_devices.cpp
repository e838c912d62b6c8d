// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/loop_devices.h"

#include <unistd.h>

#include "common/tool_runner.h"

namespace quorvane::testing {

std::string LoopDevicesUnavailable(std::initializer_list<const char*> tools) {
  if (::geteuid() != 0) return "loop devices need root";
  if (::access("/dev/loop-control", R_OK | W_OK) != 0) return "/dev/loop-control is not usable";
  for (const char* tool : tools)
    if (FindTool(tool).empty()) return std::string(tool) + " is not installed";
  return {};
}

}  // namespace quorvane::testing
