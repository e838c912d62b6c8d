// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "support/iso_images.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/tool_runner.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

void MakeIso(const std::string& iso, const std::map<std::string, std::string>& files) {
  const std::string tree = iso + ".tree";
  std::filesystem::remove_all(tree);
  for (const auto& [path, content] : files) WriteFile(tree + "/" + path, content);
  TSystemToolRunner runner;
  const TToolResult r =
      runner.Run({"xorriso", {"-as", "mkisofs", "-quiet", "-R", "-J", "-o", iso, tree}, ""});
  ASSERT_TRUE(r.Succeeded()) << r.ErrorText();
  std::filesystem::remove_all(tree);
}

}  // namespace quorvane::testing
