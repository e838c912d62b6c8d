// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/text.h"

#include <gtest/gtest.h>

#include "common/guid.h"

namespace quorvane {
namespace {

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutRescanningTheReplacement) {
  EXPECT_EQ(ReplaceAll("a-b-c", "-", "_"), "a_b_c");
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("{x}", "{", ""), "x}");
  EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
}

TEST(Guid, RegistryFormWithUpperCaseDigits) {
  const std::string guid = NewGuidRegistryForm();
  ASSERT_EQ(guid.size(), 38u);
  EXPECT_EQ(guid.front(), '{');
  EXPECT_EQ(guid.back(), '}');
  for (std::size_t i : {9u, 14u, 19u, 24u}) EXPECT_EQ(guid[i], '-') << guid;
  for (char c : guid) EXPECT_TRUE(std::string("{}-0123456789ABCDEF").find(c) != std::string::npos) << guid;
  EXPECT_NE(NewGuidRegistryForm(), guid);
}

}  // namespace
}  // namespace quorvane
