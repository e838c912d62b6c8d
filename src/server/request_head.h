// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The checks a request's head passes before anything else of it is read: its size, the
// number of its header lines, its body's announced length, and the run's secret.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

struct TRequestLimits {
  std::size_t MaxRequestLine = 8192;
  std::size_t MaxHeadBytes = 32 * 1024;  // request line and header lines together
  std::size_t MaxHeaders = 100;
  std::size_t MaxBody = 4 * 1024 * 1024;
  std::size_t MaxFields = 4096;  // form fields of one body
};

// The name of the cookie and of the header that carry the run's secret, and of the query
// field that carries it on the page's first address.
inline constexpr const char* kTokenCookie = "quorvane_token";
inline constexpr const char* kTokenHeader = "X-Quorvane-Token";
inline constexpr const char* kTokenQuery = "token";

// Just past the blank line that ends the head at the start of `data`; npos while it has
// not arrived.
std::size_t RequestHeadEnd(std::string_view data);

// For the start of a head that has not ended yet: 0 while it may still become an
// acceptable head, else the status to refuse it with at once (414: the request line is
// too long; 431: too many header lines or bytes).
int PartialHeadStatus(std::string_view data, const TRequestLimits& limits);

struct THeadVerdict {
  // 0: go on; else 400 (malformed), 403 (no or a wrong secret), 413 (announced body too
  // large), 414 or 431.
  int Status = 0;
  bool Chunked = false;
  bool HasLength = false;
  std::uint64_t ContentLength = 0;
};

// Checks a whole head (up to and including its blank line). The secret counts in the
// header, in the cookie, or in the query of the request target.
THeadVerdict CheckRequestHead(std::string_view head, const TRequestLimits& limits,
                              const std::string& token);

// The secret in the query of a request target ("/?token=..."), empty when there is none.
std::string TokenOfTarget(std::string_view target);

// Equal texts, compared in a time that does not depend on where they differ.
bool SameSecret(const std::string& a, const std::string& b);

// The short reply that refuses a request: status line, no body, connection closed.
std::string RefusalReply(int status);

}  // namespace quorvane
