// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/request_head.h"

#include <openssl/crypto.h>

#include <vector>

#include "common/text.h"

namespace quorvane {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The value of `name` in a list of `name=value` pairs split by `separator`.
bool FindPair(std::string_view list, char separator, std::string_view name, std::string& value) {
  while (!list.empty()) {
    const std::size_t end = list.find(separator);
    const std::string_view pair = Trim(list.substr(0, end));
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == name) {
      value = std::string(pair.substr(equals + 1));
      return true;
    }
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

THeadVerdict Refused(int status) {
  THeadVerdict verdict;
  verdict.Status = status;
  return verdict;
}

bool ParseLength(std::string_view text, std::uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

}  // namespace

std::size_t RequestHeadEnd(std::string_view data) {
  // Lines end with CR LF, or with a bare LF as lenient parsers take it.
  for (std::size_t i = data.find('\n'); i != std::string_view::npos; i = data.find('\n', i + 1)) {
    if (i + 1 < data.size() && data[i + 1] == '\n') return i + 2;
    if (i + 2 < data.size() && data[i + 1] == '\r' && data[i + 2] == '\n') return i + 3;
  }
  return std::string_view::npos;
}

int PartialHeadStatus(std::string_view data, const TRequestLimits& limits) {
  const std::size_t first_end = data.find('\n');
  if (first_end == std::string_view::npos ? data.size() > limits.MaxRequestLine
                                          : first_end > limits.MaxRequestLine + 1)
    return 414;
  if (data.size() > limits.MaxHeadBytes) return 431;
  std::size_t lines = 0;
  for (char c : data)
    if (c == '\n') ++lines;
  // The request line and the header lines that have ended.
  if (lines > limits.MaxHeaders + 1) return 431;
  return 0;
}

THeadVerdict CheckRequestHead(std::string_view head, const TRequestLimits& limits,
                              const std::string& token) {
  THeadVerdict verdict;
  const std::size_t end = RequestHeadEnd(head);
  if (end == std::string_view::npos) return Refused(400);
  head = head.substr(0, end);
  if (const int status = PartialHeadStatus(head.substr(0, head.size() - 1), limits)) {
    return Refused(status);
  }
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < head.size();) {
    std::size_t stop = head.find('\n', start);
    if (stop == std::string_view::npos) stop = head.size();
    std::string_view line = head.substr(start, stop - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = stop + 1;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty()) return Refused(400);
  // METHOD SP TARGET SP VERSION
  const std::string_view request_line = lines[0];
  const std::size_t sp1 = request_line.find(' ');
  const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : request_line.find(' ', sp1 + 1);
  if (sp1 == 0 || sp2 == std::string_view::npos || sp2 == sp1 + 1 ||
      request_line.substr(sp2 + 1).rfind("HTTP/1.", 0) != 0)
    return Refused(400);
  const std::string_view target = request_line.substr(sp1 + 1, sp2 - sp1 - 1);

  bool secret = !TokenOfTarget(target).empty() && SameSecret(TokenOfTarget(target), token);
  bool has_te = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return Refused(400);
    const std::string_view name = line.substr(0, colon);
    if (name.find_first_of(" \t") != std::string_view::npos) return Refused(400);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (SameName(name, "Content-Length")) {
      std::uint64_t length = 0;
      if (!ParseLength(value, length) || (verdict.HasLength && length != verdict.ContentLength))
        return Refused(400);
      verdict.HasLength = true;
      verdict.ContentLength = length;
    } else if (SameName(name, "Transfer-Encoding")) {
      if (has_te || !SameName(value, "chunked")) return Refused(400);
      has_te = true;
      verdict.Chunked = true;
    } else if (SameName(name, kTokenHeader)) {
      if (SameSecret(std::string(value), token)) secret = true;
    } else if (SameName(name, "Cookie")) {
      std::string value_of_cookie;
      if (FindPair(value, ';', kTokenCookie, value_of_cookie) && SameSecret(value_of_cookie, token))
        secret = true;
    }
  }
  if (verdict.Chunked && verdict.HasLength) return Refused(400);
  if (token.empty() || !secret) return Refused(403);
  if (verdict.HasLength && verdict.ContentLength > limits.MaxBody)
    return Refused(413);
  return verdict;
}

std::string TokenOfTarget(std::string_view target) {
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return {};
  std::string_view query = target.substr(question + 1);
  if (const std::size_t hash = query.find('#'); hash != std::string_view::npos)
    query = query.substr(0, hash);
  std::string value;
  return FindPair(query, '&', kTokenQuery, value) ? value : std::string();
}

bool SameSecret(const std::string& a, const std::string& b) {
  return a.size() == b.size() && !a.empty() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string RefusalReply(int status) {
  const char* reason = status == 400   ? "Bad Request"
                       : status == 403 ? "Forbidden"
                       : status == 408 ? "Request Timeout"
                       : status == 413 ? "Payload Too Large"
                       : status == 414 ? "URI Too Long"
                       : status == 431 ? "Request Header Fields Too Large"
                       : status == 503 ? "Service Unavailable"
                                       : "Error";
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

}  // namespace quorvane
