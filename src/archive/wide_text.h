// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Conversions between the library's wide strings (UTF-32 wchar_t) and the program's
// UTF-8 strings.
#pragma once

#include <string>

namespace quorvane {

// UTF-8 of a wide string; code points that are not characters become U+FFFD.
std::string Utf8FromWide(const wchar_t* text);
std::wstring WideFromUtf8(const std::string& text);

// A name read from Rock Ridge records reaches us one byte per character. When every
// character is below U+0100 and the bytes form valid UTF-8 with at least one multi-byte
// sequence, answers the decoded name; otherwise the text as it is.
std::string RepairByteWidenedName(const std::string& utf8);

}  // namespace quorvane
