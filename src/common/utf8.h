// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Reading and writing UTF-8 one code point at a time.
#pragma once

#include <cstddef>
#include <string>

namespace quorvane {

// Decodes the sequence at `i` into `c` and moves `i` past it; false (and `i` unchanged)
// when it is malformed: overlong forms, surrogates and values above U+10FFFF included.
bool DecodeUtf8(const std::string& text, std::size_t& i, char32_t& c);

// Appends the UTF-8 form of `c`; surrogates and values above U+10FFFF become U+FFFD.
void AppendUtf8(std::string& out, char32_t c);

// The code points of `text`; each byte that starts no valid sequence reads as U+FFFD.
std::u32string CodePointsOfUtf8(const std::string& text);

// The characters a terminal shows for `text`: every byte but UTF-8 continuation bytes.
std::size_t Utf8CharacterCount(const std::string& text);

}  // namespace quorvane
