// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Runs one file operation of the program for the benchmark script:
//   quorvane_bench_fileops copy SOURCE TARGET
//   quorvane_bench_fileops unpack ARCHIVE FOLDER
// Prints the seconds it took and the number of progress reports; exits 1 on an error.
#include <chrono>
#include <cstdio>
#include <string>

#include "archive/file_operations.h"
#include "archive/sevenzip.h"

namespace {

long g_reports = 0;

std::uint32_t CountCopyReport(std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::uint32_t,
                              std::uint32_t, int, int, void*) {
  ++g_reports;
  return quorvane::PROGRESS_CONTINUE;
}

quorvane::HRESULT CountUnpackReport(void*, bool, std::int64_t) {
  ++g_reports;
  return quorvane::S_OK;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvane;
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s copy SOURCE TARGET | unpack ARCHIVE FOLDER\n", argv[0]);
    return 2;
  }
  const std::string operation = argv[1];
  if (operation == "unpack" && !Prepare7zLibrary()) {
    std::fprintf(stderr, "%s\n", Lib7zStartupErrorMessage().c_str());
    return 1;
  }
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  if (operation == "copy") {
    CopyFileWithProgress(argv[2], argv[3], CountCopyReport, error, false, nullptr);
  } else if (operation == "unpack") {
    UnpackArchive(nullptr, CountUnpackReport, argv[2], error, argv[3]);
  } else {
    std::fprintf(stderr, "unknown operation %s\n", argv[1]);
    return 2;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!error.empty()) {
    std::fprintf(stderr, "%s failed: %s\n", argv[1], error.c_str());
    return 1;
  }
  std::printf("%s %.3f s, %ld progress reports\n", argv[1], seconds, g_reports);
  return 0;
}
