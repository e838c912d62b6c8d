// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "startup/terminal_dialog.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quorvane {
namespace {

TDialogAnswer Ask(const std::string& typed, bool interactive, std::string* shown = nullptr) {
  std::FILE* in = fmemopen(const_cast<char*>(typed.data()), typed.size(), "r");
  char* out_buffer = nullptr;
  std::size_t out_size = 0;
  std::FILE* out = open_memstream(&out_buffer, &out_size);
  TTerminalDialog dialog(typed.empty() ? stdin : in, out, interactive ? 1 : 0);
  const TDialogAnswer answer = dialog.AskYesNo("Question?\r\nReally?");
  std::fclose(out);
  if (shown) *shown = std::string(out_buffer, out_size);
  std::free(out_buffer);
  std::fclose(in);
  return answer;
}

TEST(TerminalDialog, AnswersFromTheTerminal) {
  EXPECT_EQ(Ask("y\n", true), TDialogAnswer::Yes);
  EXPECT_EQ(Ask("No\n", true), TDialogAnswer::No);
  EXPECT_EQ(Ask("maybe\nY\n", true), TDialogAnswer::Yes);
  EXPECT_EQ(Ask("maybe\n", true), TDialogAnswer::Closed);  // input ended
}

TEST(TerminalDialog, WithoutATerminalTheAnswerIsNo) {
  std::string shown;
  EXPECT_EQ(Ask("y\n", false, &shown), TDialogAnswer::No);
  EXPECT_NE(shown.find("Question?\nReally?"), std::string::npos) << shown;
}

}  // namespace
}  // namespace quorvane
