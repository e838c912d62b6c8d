// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "archive/hresult.h"

#include <cstdio>

#include "common/text.h"

namespace quorvane {

std::string HResultText(HRESULT code) {
  const auto value = static_cast<std::uint32_t>(code);
  if ((value & 0xFFFF0000u) == 0x80070000u && code != E_OUTOFMEMORY && code != E_INVALIDARG)
    return SystemErrorText(static_cast<int>(value & 0xFFFFu));
  switch (code) {
    case S_OK: return "The operation completed successfully";
    case S_FALSE: return "Incorrect function";
    case E_NOTIMPL: return "Not implemented";
    case E_NOINTERFACE: return "No such interface supported";
    case E_ABORT: return "Operation aborted";
    case E_FAIL: return "Unspecified error";
    case E_OUTOFMEMORY: return "Not enough memory resources are available to complete this operation";
    case E_INVALIDARG: return "The parameter is incorrect";
    default: break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "Error code 0x%08X", value);
  return text;
}

}  // namespace quorvane
