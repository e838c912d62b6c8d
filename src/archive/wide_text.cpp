// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/wide_text.h"

#include "common/utf8.h"

namespace quorvane {

std::string Utf8FromWide(const wchar_t* text) {
  std::string out;
  if (!text) return out;
  for (; *text; ++text) AppendUtf8(out, static_cast<char32_t>(*text));
  return out;
}

std::wstring WideFromUtf8(const std::string& text) {
  std::wstring out;
  for (char32_t c : CodePointsOfUtf8(text)) out.push_back(static_cast<wchar_t>(c));
  return out;
}

std::string RepairByteWidenedName(const std::string& utf8) {
  // Undo the widening: each character back to the byte it came from.
  std::string bytes;
  bool multi_byte = false;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = 0;
    if (!DecodeUtf8(utf8, i, c) || c > 0xFF) return utf8;
    if (c >= 0x80) multi_byte = true;
    bytes.push_back(static_cast<char>(c));
  }
  if (!multi_byte) return utf8;
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    if (!DecodeUtf8(bytes, i, c)) return utf8;
  }
  return bytes;
}

}  // namespace quorvane
