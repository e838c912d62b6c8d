// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whether this machine lets tests use loop devices, for the tests that work on image
// files attached as disks.
#pragma once

#include <initializer_list>
#include <string>

namespace quorvane::testing {

// Why loop devices cannot be used here (not root, no loop control, or one of `tools` is
// not installed); empty when they can.
std::string LoopDevicesUnavailable(std::initializer_list<const char*> tools);

}  // namespace quorvane::testing
