// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Job folders that a run ended abruptly left on a drive: a folder of an entry whose menu
// item was never written. They are found by the menus, and removed at the next burn.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// A job's identifier, the name of its folder: a GUID without braces, 8-4-4-4-12
// hexadecimal digits.
bool IsJobIdentifier(const std::string& name);

// The job folders under "<root>Quorvane/" (named by a job's identifier) that no boot menu
// of the drive names: neither "menu.lst" nor a GRUB 2 menu.
std::vector<std::string> FindOrphanJobFolders(const std::string& root);

// Deletes the orphan job folders of a drive; returns the ones removed. A folder that
// cannot be removed stays, and is found again at the next burn.
std::vector<std::string> RemoveOrphanJobFolders(const std::string& root);

}  // namespace quorvane
