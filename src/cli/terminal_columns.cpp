// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/terminal_columns.h"

#include <locale.h>
#include <wchar.h>

#include "common/utf8.h"

namespace quorvane {

namespace {

// wcwidth under a UTF-8 character table, whatever locale the program runs in: the width
// of a name must not depend on LANG.
int CharacterColumns(char32_t c) {
  static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (!utf8) return 1;
  const locale_t before = ::uselocale(utf8);
  const int width = ::wcwidth(static_cast<wchar_t>(c));
  ::uselocale(before);
  return width < 0 ? 1 : width;
}

}  // namespace

std::size_t TerminalColumnsOf(const std::string& text) {
  std::size_t columns = 0;
  for (char32_t c : CodePointsOfUtf8(text)) columns += static_cast<std::size_t>(CharacterColumns(c));
  return columns;
}

std::string FitToColumns(const std::string& text, std::size_t width) {
  if (width == 0) return {};
  const std::size_t columns = TerminalColumnsOf(text);
  if (columns <= width) return text + std::string(width - columns, ' ');
  std::string out;
  std::size_t taken = 0;
  for (char32_t c : CodePointsOfUtf8(text)) {
    const std::size_t w = static_cast<std::size_t>(CharacterColumns(c));
    if (taken + w > width - 1) break;
    AppendUtf8(out, c);
    taken += w;
  }
  return out + "~" + std::string(width - 1 - taken, ' ');
}

}  // namespace quorvane
