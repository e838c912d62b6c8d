// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The GRUB4DOS menu files on a drive: an entry's own menu file, and the drive's main menu
// "menu.lst" to which every entry appends its item. Text is written as it is given (UTF-8),
// each call adding one CR LF line end.
#pragma once

#include <string>

namespace quorvane {

inline constexpr const char* kLineEnd = "\r\n";

// Writes a new file holding `Content` and one line end. An existing file is left as it is.
void CreateTextFile(const std::string& FileName, const std::string& Content, std::string& Error);

// Appends `Text` and one line end to the main menu of the drive whose letter is the first
// character of `Drive`, creating the menu when the drive has none.
void AppendMenuPoint(const std::string& Drive, const std::string& Text, std::string& Error);

}  // namespace quorvane
