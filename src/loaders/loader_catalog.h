// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The ten loader types: their display names, the pages where each image is obtained, and
// the space an image needs on the drive.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quorvane {

inline constexpr int kLoaderCount = 10;

inline constexpr int LoaderWindows7 = 0;
inline constexpr int LoaderWindows8 = 1;
inline constexpr int LoaderWindows10 = 2;
inline constexpr int LoaderKaspersky = 3;
inline constexpr int LoaderAVG = 4;
inline constexpr int LoaderUbuntu = 5;
inline constexpr int LoaderHirens = 6;
inline constexpr int LoaderPartedMagic = 7;
inline constexpr int LoaderDrWeb = 8;
inline constexpr int LoaderClonezilla = 9;

// Display names, indexed by loader type.
extern const std::array<const char*, kLoaderCount> LoaderNames;
// Download pages, indexed by loader type.
extern const std::array<const char*, kLoaderCount> LoaderPages;

inline bool IsLoaderType(std::int32_t code) { return code >= 0 && code < kLoaderCount; }

// Windows installers boot through NTBOOT and share the entry file "Go.lst".
inline bool IsWindowsLoader(std::int32_t code) { return code >= 0 && code <= 2; }

// The loaders whose image GRUB4DOS maps in place, which must lie in one piece on the
// drive: all but Kaspersky's (unpacked) and Ubuntu's (its kernel is taken out).
inline bool IsMappedInPlace(std::int32_t code) {
  return IsLoaderType(code) && code != LoaderKaspersky && code != LoaderUbuntu;
}

// Bytes the image needs on the drive; 0 for an unknown type or an unreadable image.
std::int64_t GetNecessarySpace(const std::string& FileName, std::int32_t LoaderType);

}  // namespace quorvane
