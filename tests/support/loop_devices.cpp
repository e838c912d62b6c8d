// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/loop_devices.h"

#include <unistd.h>

#include <sstream>

#include <gtest/gtest.h>

#include "common/tool_runner.h"

namespace quorvane::testing {

std::string LoopDevicesUnavailable(std::initializer_list<const char*> tools) {
  if (::geteuid() != 0) return "loop devices need root";
  if (::access("/dev/loop-control", R_OK | W_OK) != 0) return "/dev/loop-control is not usable";
  for (const char* tool : tools)
    if (FindTool(tool).empty()) return std::string(tool) + " is not installed";
  return {};
}

void DetachLeftoverLoops(const std::vector<std::string>& images) {
  TSystemToolRunner runner;
  for (const std::string& image : images) {
    const TToolResult r =
        runner.Run({"losetup", {"--associated", image, "--noheadings", "-O", "NAME"}, ""});
    std::istringstream names(r.Output);
    std::string node;
    while (names >> node) {
      ADD_FAILURE() << node << " was still attached to " << image;
      runner.Run({"losetup", {"--detach", node}, ""});
    }
  }
}

}  // namespace quorvane::testing
