// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Small string helpers used across the program.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Replaces every occurrence of `from` in `text` by `to`.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

// ASCII-only case changes; other bytes are kept.
std::string LowerAscii(std::string text);
std::string UpperAscii(std::string text);

// The system's message text for an errno value.
std::string SystemErrorText(int error_number);

// `path` ending in exactly one added "/" when it had none.
std::string WithTrailingSlash(std::string path);

// Quotes a path the way the program's error messages do: "path".
std::string Quoted(std::string_view text);

}  // namespace quorvane
