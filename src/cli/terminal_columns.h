// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// How many terminal columns a text takes (wide East Asian characters and emoji take two,
// combining marks none), and a text cut or padded to a number of columns.
#pragma once

#include <cstddef>
#include <string>

namespace quorvane {

// Columns of `text` (UTF-8) on a terminal; a character it cannot show counts as one.
std::size_t TerminalColumnsOf(const std::string& text);

// `text` in exactly `width` columns: padded with blanks, or cut with "~" at the end (a
// wide character that would straddle the cut goes whole).
std::string FitToColumns(const std::string& text, std::size_t width);

}  // namespace quorvane
