// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The checks of a request's head, and the reading of the kernel's connection tables.
#include <gtest/gtest.h>

#include <cstdlib>

#include "server/request_head.h"
#include "server/tcp_table.h"

namespace quorvane::testing {
namespace {

const std::string kToken = std::string(64, 'a');

std::string Head(const std::string& lines) { return lines + "\r\n"; }

TEST(RequestHead, Verdicts) {
  TRequestLimits limits;
  limits.MaxHeaders = 4;
  limits.MaxHeadBytes = 600;
  limits.MaxRequestLine = 100;
  limits.MaxBody = 1000;
  const std::string auth = "X-Quorvane-Token: " + kToken + "\r\n";
  struct TCase {
    const char* name;
    std::string head;
    int status;
    bool chunked = false;
  };
  const TCase cases[] = {
      {"secret in the header", Head("POST / HTTP/1.1\r\n" + auth + "Content-Length: 10\r\n"), 0},
      {"header name in any case", Head("POST / HTTP/1.1\r\nx-quorvane-TOKEN: " + kToken + "\r\n"), 0},
      {"secret in the cookie",
       Head("GET / HTTP/1.1\r\nCookie: a=b; quorvane_token=" + kToken + "; c=d\r\n"), 0},
      {"secret in the query", Head("GET /?x=1&token=" + kToken + " HTTP/1.1\r\n"), 0},
      {"bare line ends", "GET /?token=" + kToken + " HTTP/1.1\nHost: x\n\n", 0},
      {"chunked", Head("POST / HTTP/1.1\r\n" + auth + "Transfer-Encoding: chunked\r\n"), 0, true},
      {"no secret", Head("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n"), 403},
      {"a wrong secret", Head("POST / HTTP/1.1\r\nX-Quorvane-Token: " + std::string(64, 'b') + "\r\n"),
       403},
      {"a shorter secret", Head("POST / HTTP/1.1\r\nX-Quorvane-Token: aaaa\r\n"), 403},
      {"the secret under another cookie's name",
       Head("GET / HTTP/1.1\r\nCookie: xquorvane_token=" + kToken + "\r\n"), 403},
      {"the secret in another query field", Head("GET /?mytoken=" + kToken + " HTTP/1.1\r\n"), 403},
      {"body larger than allowed", Head("POST / HTTP/1.1\r\n" + auth + "Content-Length: 1001\r\n"), 413},
      {"length of 30 digits",
       Head("POST / HTTP/1.1\r\n" + auth + "Content-Length: 100000000000000000000000000000\r\n"), 400},
      {"two lengths", Head("POST / HTTP/1.1\r\n" + auth + "Content-Length: 1\r\nContent-Length: 2\r\n"),
       400},
      {"length and chunked",
       Head("POST / HTTP/1.1\r\n" + auth + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n"), 400},
      {"another transfer coding", Head("POST / HTTP/1.1\r\n" + auth + "Transfer-Encoding: gzip\r\n"), 400},
      {"header without colon", Head("POST / HTTP/1.1\r\n" + auth + "Nonsense\r\n"), 400},
      {"no version", Head("GET /\r\n" + auth), 400},
      {"five headers", Head("GET / HTTP/1.1\r\n" + auth + "A: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n"), 431},
      {"too many bytes", Head("GET / HTTP/1.1\r\n" + auth + "A: " + std::string(600, 'x') + "\r\n"), 431},
      {"request line too long", Head("GET /" + std::string(120, 'x') + " HTTP/1.1\r\n" + auth), 414},
      {"no end", "GET / HTTP/1.1\r\n" + auth, 400},
  };
  for (const TCase& c : cases) {
    const THeadVerdict verdict = CheckRequestHead(c.head, limits, kToken);
    EXPECT_EQ(verdict.Status, c.status) << c.name;
    EXPECT_EQ(verdict.Chunked, c.chunked) << c.name;
  }
  // No secret set: nothing passes.
  EXPECT_EQ(CheckRequestHead(Head("GET /?token= HTTP/1.1\r\nX-Quorvane-Token: \r\n"), limits, "").Status,
            403);
  const THeadVerdict sized =
      CheckRequestHead(Head("POST / HTTP/1.1\r\n" + auth + "Content-Length: 10\r\n"), limits, kToken);
  EXPECT_TRUE(sized.HasLength);
  EXPECT_EQ(sized.ContentLength, 10u);
}

TEST(RequestHead, HeadsThatHaveNotEndedYet) {
  TRequestLimits limits;
  limits.MaxHeaders = 3;
  limits.MaxHeadBytes = 200;
  limits.MaxRequestLine = 50;
  struct TCase {
    const char* name;
    std::string data;
    int status;
  };
  const TCase cases[] = {
      {"a start", "GET / HT", 0},
      {"three headers so far", "GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\nD:", 0},
      {"a fifth line has ended", "GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n", 431},
      {"bytes beyond the head's size", "GET / HTTP/1.1\r\nA: " + std::string(200, 'x'), 431},
      {"a request line without end beyond its size", "GET /" + std::string(60, 'x'), 414},
  };
  for (const TCase& c : cases) EXPECT_EQ(PartialHeadStatus(c.data, limits), c.status) << c.name;
  EXPECT_EQ(RequestHeadEnd("GET / HTTP/1.1\r\nA: 1\r\n\r\nbody"), 24u);
  EXPECT_EQ(RequestHeadEnd("GET / HTTP/1.1\r\nA: 1\r\n"), std::string::npos);
  EXPECT_EQ(TokenOfTarget("/?a=1&token=abc#x"), "abc");
  EXPECT_EQ(TokenOfTarget("/token=abc"), "");
  EXPECT_EQ(RefusalReply(431).rfind("HTTP/1.1 431 Request Header Fields Too Large\r\n", 0), 0u);
}

// Captured from this machine: a server on 127.0.0.1:8080 (0x1F90), one client of uid 1000
// from port 54321 (0xD431), and one of uid 1001 from an IPv6 socket.
const char kTcp[] =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 81234 1 0000000000000000 100 0 0 10 0\n"
    "   1: 0100007F:1F90 0100007F:D431 01 00000000:00000000 00:00000000 00000000     0        0 81240 1 0000000000000000 20 4 30 10 -1\n"
    "   2: 0100007F:D431 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  1000        0 81239 1 0000000000000000 20 4 30 10 -1\n"
    "   3: 0100007F:D432 0A00020F:1F90 01 00000000:00000000 00:00000000 00000000  1002        0 81299 1 0000000000000000 20 4 30 10 -1\n";
const char kTcp6[] =
    "  sl  local_address                         remote_address                        st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 0000000000000000FFFF00000100007F:C350 0000000000000000FFFF00000100007F:1F90 01 00000000:00000000 00:00000000 00000000  1001        0 90001 1 0000000000000000 20 4 30 10 -1\n";

TEST(TcpTable, TheOwnerIsTheRowOfThePeersEnd) {
  struct TCase {
    const char* name;
    const char* table;
    const char* local;
    const char* remote;
    std::optional<uid_t> owner;
  };
  const TCase cases[] = {
      {"the client's row", kTcp, "0100007F:D431", "0100007F:1F90", 1000},
      {"letter case does not matter", kTcp, "0100007f:d431", "0100007f:1f90", 1000},
      {"the server's own row", kTcp, "0100007F:1F90", "0100007F:D431", 0},
      {"the same port to another host is not the peer", kTcp, "0100007F:D432", "0100007F:1F90",
       std::nullopt},
      {"a peer that has gone", kTcp, "0100007F:D433", "0100007F:1F90", std::nullopt},
      {"an IPv6 socket that reached the IPv4 address", kTcp6,
       "0000000000000000FFFF00000100007F:C350", "0000000000000000FFFF00000100007F:1F90", 1001},
      {"an empty table", "", "0100007F:D431", "0100007F:1F90", std::nullopt},
      {"a row cut short", "   2: 0100007F:D431 0100007F:1F90 01 00000000:00000000\n", "0100007F:D431",
       "0100007F:1F90", std::nullopt},
  };
  for (const TCase& c : cases) EXPECT_EQ(TcpSocketOwner(c.table, c.local, c.remote), c.owner) << c.name;
}

TEST(TcpTable, ServedUsersAreRootOurselvesAndTheDesktopUser) {
  const char* saved = std::getenv("SUDO_UID");
  const std::string keep = saved ? saved : "";
  ::setenv("SUDO_UID", "0", 1);
  const std::vector<uid_t> plain = DefaultClientUids();
  EXPECT_NE(std::find(plain.begin(), plain.end(), 0u), plain.end());
  EXPECT_NE(std::find(plain.begin(), plain.end(), ::geteuid()), plain.end());
  if (::geteuid() == 0) {
    // uid 65534 has a name on every Debian system ("nobody").
    ::setenv("SUDO_UID", "65534", 1);
    const std::vector<uid_t> with_user = DefaultClientUids();
    EXPECT_NE(std::find(with_user.begin(), with_user.end(), 65534u), with_user.end());
  }
  if (saved)
    ::setenv("SUDO_UID", keep.c_str(), 1);
  else
    ::unsetenv("SUDO_UID");
}

}  // namespace
}  // namespace quorvane::testing
