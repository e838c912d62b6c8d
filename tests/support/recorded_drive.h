// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Entries written onto a folder drive together with their record in the drive's manifest,
// as a burn leaves them, for the tests of the later check.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvane::testing {

// Writes each (name, content) under "<root>Quorvane/<id>/" and records the entry, titled
// `title`, in the manifest. Fails the test when the manifest cannot be written.
void RecordEntry(const std::string& root, const std::string& id, const std::string& title,
                 const std::vector<std::pair<std::string, std::string>>& files);

// Entry folder names in the form a job gives them.
inline constexpr const char* kEntryA = "0A6F1C2E-0000-4000-8000-00000000000A";
inline constexpr const char* kEntryB = "0A6F1C2E-0000-4000-8000-00000000000B";
inline constexpr const char* kEntryC = "0A6F1C2E-0000-4000-8000-00000000000C";

// Flips one byte of a file in place.
void FlipByte(const std::string& path, long offset);

}  // namespace quorvane::testing
