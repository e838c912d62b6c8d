// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/confirmation_texts.h"

#include "common/constants.h"

namespace quorvane {

TConfirmationTexts ConfirmationTexts(std::uint8_t format_mode) {
  TConfirmationTexts texts;
  texts.Title = "Warning";
  if (format_mode == FormatModeNew) {
    texts.First = "Selected drive will be formated.";
    texts.Second = "Formating will erase ALL data on this disk!";
  } else {
    texts.First = "Master Boot Code of selected drive will be overwritten.";
    texts.Second = "It's safe for your data";
  }
  texts.Question = "Continue?";
  texts.Footer = "By continuing, you accept the License Agreement Terms";
  texts.ShowEULA = true;
  return texts;
}

}  // namespace quorvane
