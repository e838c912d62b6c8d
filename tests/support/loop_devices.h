// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whether this machine lets tests use loop devices, for the tests that work on image
// files attached as disks, and the clean-up after them.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace quorvane::testing {

// Why loop devices cannot be used here (not root, no loop control, or one of `tools` is
// not installed); empty when they can.
std::string LoopDevicesUnavailable(std::initializer_list<const char*> tools);

// Detaches every loop device still attached to one of `images`, failing the test for each:
// a test must detach what it attached.
void DetachLeftoverLoops(const std::vector<std::string>& images);

}  // namespace quorvane::testing
