// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A FILE that collects what is written to it, for the tests of what quorvane-cli shows.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace quorvane::testing {

class TCapture {
 public:
  TCapture() : FFile(open_memstream(&FBuffer, &FSize)) {}
  ~TCapture() {
    std::fclose(FFile);
    std::free(FBuffer);
  }
  TCapture(const TCapture&) = delete;
  TCapture& operator=(const TCapture&) = delete;

  std::FILE* file() { return FFile; }
  std::string text() {
    std::fflush(FFile);
    return std::string(FBuffer, FSize);
  }

 private:
  char* FBuffer = nullptr;
  std::size_t FSize = 0;
  std::FILE* FFile;
};

}  // namespace quorvane::testing
