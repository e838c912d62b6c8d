// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Names that the boot menus would expand or read as syntax, against each menu language.
#include "loaders/menu_text_escape.h"

#include <gtest/gtest.h>

namespace quorvane::testing {
namespace {

TEST(MenuTextEscape, NamesForBothMenus) {
  struct TCase {
    const char* name;
    const char* grub4dos;
    const char* grub2;
  };
  const TCase cases[] = {
      {"plain_name-1.2", "plain_name-1.2", "'plain_name-1.2'"},
      {"p%@root%q", "p_@root_q", "'p%@root%q'"},
      {"%UUID%", "_UUID_", "'%UUID%'"},
      {"two words\tand a tab", "two_words_and_a_tab", "'two words\tand a tab'"},
      {"back\\slash", "back_slash", "'back\\slash'"},
      {"line\r\nbreak", "line__break", "'line\r\nbreak'"},
      {"a;b&&c||d>nul<e", "a_b__c__d_nul_e", "'a;b&&c||d>nul<e'"},
      {"say \"hi\"^!", "say__hi___", "'say \"hi\"^!'"},
      {"$root ${x} {y}", "$root_${x}_{y}", "'$root ${x} {y}'"},
      {"Hiren's", "Hiren's", "'Hiren'\\''s'"},
      {"''", "''", "''\\'''\\'''"},
      {"ünïcode", "ünïcode", "'ünïcode'"},
      {"", "", "''"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Grub4DosMenuText(c.name), c.grub4dos) << c.name;
    EXPECT_EQ(Grub2MenuWord(c.name), c.grub2) << c.name;
    // Text already made safe stays as it is: names and paths can pass twice.
    EXPECT_EQ(Grub4DosMenuText(c.grub4dos), c.grub4dos) << c.name;
  }
}

}  // namespace
}  // namespace quorvane::testing
