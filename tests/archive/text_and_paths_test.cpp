// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Pure helpers of the archive binding: result texts, wide strings, item path checks.
#include <gtest/gtest.h>

#include "archive/hresult.h"
#include "archive/item_paths.h"
#include "archive/wide_text.h"

namespace quorvane {
namespace {

TEST(HResultText, SystemCodesAndGenericOnes) {
  EXPECT_EQ(HResultText(HResultFromErrno(ENOSPC)), "No space left on device");
  EXPECT_EQ(HResultText(HResultFromErrno(EIO)), "Input/output error");
  EXPECT_EQ(HResultText(E_ABORT), "Operation aborted");
  EXPECT_EQ(HResultText(S_FALSE), "Incorrect function");
  EXPECT_EQ(HResultText(E_FAIL), "Unspecified error");
  EXPECT_EQ(HResultText(E_OUTOFMEMORY), "Not enough memory resources are available to complete this operation");
  EXPECT_EQ(HResultText(static_cast<HRESULT>(0x80041234u)), "Error code 0x80041234");
}

TEST(WideText, RoundTripsAndRepairsByteWidenedNames) {
  EXPECT_EQ(Utf8FromWide(L"casper/vmlinuz"), "casper/vmlinuz");
  EXPECT_EQ(Utf8FromWide(L"\u00e9t\u00e9 \u65e5\U0001F600"), "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80");
  EXPECT_EQ(WideFromUtf8("\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80"), L"\u00e9t\u00e9 \u65e5\U0001F600");
  EXPECT_EQ(Utf8FromWide(L"a\xD800z"), "a\xEF\xBF\xBDz") << "a lone surrogate";
  EXPECT_EQ(WideFromUtf8("a\xC0\xAFz"), L"a\uFFFD\uFFFDz") << "an overlong form";
  EXPECT_EQ(Utf8FromWide(nullptr), "");

  const std::pair<const char*, const char*> names[] = {
      {"\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},  // widened "été" is repaired
      {"\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},  // Latin-1 "été" is no UTF-8: kept
      {"plain/ascii", "plain/ascii"},
      {"\xE6\x97\xA5", "\xE6\x97\xA5"},                    // beyond U+00FF: kept
  };
  for (const auto& [in, out] : names) EXPECT_EQ(RepairByteWidenedName(in), out) << in;
}

TEST(ItemPaths, OnlyPathsInsideTheTargetAreAccepted) {
  struct TCase {
    const char* path;
    std::vector<std::string> parts;  // empty: refused
  };
  const TCase cases[] = {
      {"casper/vmlinuz", {"casper", "vmlinuz"}},
      {"a//b/./c", {"a", "b", "c"}},
      {"dir\\file.txt", {"dir", "file.txt"}},
      {"..a/b..", {"..a", "b.."}},
      {"../evil", {}},
      {"a/../../evil", {}},
      {"a\\..\\..\\evil", {}},
      {"/etc/passwd", {}},
      {"\\etc\\passwd", {}},
      {"a/..", {}},
      {"..", {}},
      {".", {}},
      {"", {}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> parts;
    std::string why;
    EXPECT_EQ(SplitItemPath(c.path, parts, why), !c.parts.empty()) << c.path;
    EXPECT_EQ(parts, c.parts) << c.path;
    if (c.parts.empty()) {
      EXPECT_FALSE(why.empty()) << c.path;
    }
  }
  std::vector<std::string> parts;
  std::string why;
  SplitItemPath("../evil", parts, why);
  EXPECT_EQ(why, "Item path leaves the target folder \"../evil\"");
}

}  // namespace
}  // namespace quorvane
