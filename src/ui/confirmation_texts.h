// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The question asked before a burn starts, for each preparation mode.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

struct TConfirmationTexts {
  std::string Title;
  std::string First;
  std::string Second;
  std::string Question;
  std::string Footer;
  bool ShowEULA = true;
};

// FormatModeNew: the drive is repartitioned and formatted; FormatModeAdd (any other
// value): only its boot code is replaced.
TConfirmationTexts ConfirmationTexts(std::uint8_t format_mode);

}  // namespace quorvane
