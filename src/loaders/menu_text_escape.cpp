// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/menu_text_escape.h"

#include <cstring>

namespace quorvane {

std::string Grub4DosMenuText(const std::string& text) {
  static constexpr const char* kSpecial = "%\\ \"<>|;&^!";
  std::string safe = text;
  for (char& c : safe) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::strchr(kSpecial, c) != nullptr) c = '_';
  }
  return safe;
}

std::string Grub2MenuWord(const std::string& text) {
  std::string word = "'";
  for (char c : text) {
    if (c == '\'')
      word += "'\\''";
    else
      word += c;
  }
  return word + "'";
}

}  // namespace quorvane
