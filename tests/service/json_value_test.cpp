// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "service/json_value.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct TStringCase {
  const char* name;
  std::string text;
  std::string escaped;  // reply form
  std::string plain;    // service form
};

TEST(JsonValue, StringFormsFollowTheirOwnEscapingRules) {
  const TStringCase cases[] = {
      {"empty", "", R"("")", R"("")"},
      {"plain ASCII", "Ready", R"("Ready")", R"("Ready")"},
      {"slash", "a/b", R"("a\/b")", R"("a/b")"},
      {"quote and backslash", "say \"hi\" C:\\x", R"("say \"hi\" C:\\x")",
       R"("say \"hi\" C:\x")"},
      {"short control escapes", "\b\t\n\f\r", R"("\b\t\n\f\r")", "\"\b\t\n\f\r\""},
      {"other control characters", std::string("\x01\x1F", 2), R"("\u0001\u001F")",
       std::string("\"\x01\x1F\"", 4)},
      {"NUL", std::string("a\0b", 3), R"("a\u0000b")", std::string("\"a\0b\"", 5)},
      {"DEL stays", "\x7F", "\"\x7F\"", "\"\x7F\""},
      {"two-byte UTF-8", "caf\xC3\xA9", R"("caf\u00E9")", "\"caf\xC3\xA9\""},
      {"three-byte UTF-8", "\xE2\x82\xAC", R"("\u20AC")", "\"\xE2\x82\xAC\""},
      {"outside the BMP: a surrogate pair", "\xF0\x9F\x98\x80", R"("\uD83D\uDE00")",
       "\"\xF0\x9F\x98\x80\""},
      {"invalid byte", "a\xFFz", R"("a\uFFFDz")", "\"a\xFFz\""},
      {"truncated sequence", "\xE2\x82", R"("\uFFFD\uFFFD")", "\"\xE2\x82\""},
      {"overlong encoding", "\xC0\xAF", R"("\uFFFD\uFFFD")", "\"\xC0\xAF\""},
  };
  for (const TStringCase& c : cases) {
    EXPECT_EQ(EscapedJsonString(c.text), c.escaped) << c.name;
    EXPECT_EQ(PlainJsonString(c.text), c.plain) << c.name;
  }
}

TEST(JsonValue, EscapedFormIsPureAscii) {
  const std::string out = EscapedJsonString("\xD0\x9F\xD1\x80\xD0\xB8 \xE4\xB8\xAD \xF0\x9F\x92\xBE");
  for (char c : out) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(JsonValue, ObjectsKeepInsertionOrderAndDropEmptyDataMembers) {
  TJsonValue item;
  item.AddData("MsgType", "FormatStart").AddData("MsgTextFst", "").AddData("", "x")
      .AddData("MsgTextScnd", "e").AddStatus("Success", "");
  EXPECT_EQ(item.ToEscapedJson(), R"({"MsgType":"FormatStart","MsgTextScnd":"e","Success":""})");

  TJsonValue list = TJsonValue::Array();
  list.Append(item).Append(TJsonValue());
  TJsonValue reply;
  reply.AddValue("NewMessages", list);
  EXPECT_EQ(reply.ToPlainJson(),
            R"({"NewMessages":[{"MsgType":"FormatStart","MsgTextScnd":"e","Success":""},{}]})");
  EXPECT_EQ(TJsonValue().ToEscapedJson(), "{}");
  EXPECT_EQ(TJsonValue::Array().ToEscapedJson(), "[]");
}

TEST(JsonValue, KeysAreEscapedLikeValues) {
  TJsonValue obj;
  obj.AddStatus("a/\"b", "v");
  EXPECT_EQ(obj.ToEscapedJson(), R"({"a\/\"b":"v"})");
  EXPECT_EQ(obj.ToPlainJson(), R"({"a/\"b":"v"})");
}

}  // namespace
}  // namespace quorvane
