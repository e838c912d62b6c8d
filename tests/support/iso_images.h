// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Small ISO images made at test time.
#pragma once

#include <map>
#include <string>

namespace quorvane::testing {

// Makes an ISO 9660 image (with Rock Ridge and Joliet names) holding `files` (path inside
// the image -> content) at `iso`; fails the test when xorriso cannot.
void MakeIso(const std::string& iso, const std::map<std::string, std::string>& files);

}  // namespace quorvane::testing
