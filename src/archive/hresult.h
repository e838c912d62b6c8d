// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Result codes of the archive library's calls, and the shape of an extraction's progress
// receiver.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// The library reports a failed system call as the errno value in the system facility.
inline HRESULT HResultFromErrno(int error_number) {
  return static_cast<HRESULT>(0x80070000u | (static_cast<std::uint32_t>(error_number) & 0xFFFFu));
}

// Progress receiver of an extraction: `total` true reports the total byte count, false the
// bytes done so far. Answers S_OK to go on, E_ABORT to stop.
using T7zProgressCallback = HRESULT (*)(void* sender, bool total, std::int64_t value);

// The message for a result code: the system's text for errno codes, the usual texts for
// the generic codes, the code in hexadecimal otherwise.
std::string HResultText(HRESULT code);

}  // namespace quorvane
