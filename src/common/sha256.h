// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// SHA-256 of a stream of bytes fed piece by piece, as lower-case hex.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quorvane {

class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;
  void Update(const void* bytes, std::size_t length);
  // The digest of everything fed so far, as 64 hex digits; the hasher starts over.
  std::string Hex();

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// The hex digest of one piece of bytes.
std::string Sha256Hex(std::string_view data);

}  // namespace quorvane
