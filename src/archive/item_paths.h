// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Where the items of an untrusted archive may be written: never outside the target
// folder, never through a symbolic link.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// The folder names and the file name of an item path ("/" or "\" separated), without
// "." and empty parts. False, with the refusal in `why`, for an absolute path, a path
// with a ".." part, or one that names nothing.
bool SplitItemPath(const std::string& path, std::vector<std::string>& parts, std::string& why);

// Creates the file `parts` names below the open folder `dir_fd`, making the folders on
// its way; an existing file is replaced. Nothing is followed: a symbolic link on the way
// (or in the file's place) sets `through_link` and fails. Answers the descriptor, open
// for writing, or -1 with errno set.
int CreateItemFile(int dir_fd, const std::vector<std::string>& parts, bool& through_link);

}  // namespace quorvane
