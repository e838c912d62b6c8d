// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The peer's user from /proc/net/tcp and /proc/net/tcp6; the desktop user from the
// environment pkexec or sudo leave, else from the login session.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/desktop_user.h"
#include "server/tcp_table.h"

namespace quorvane {

namespace {

std::string ReadWhole(const char* path) {
  std::string text;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

// An IPv4 end as /proc/net/tcp writes it: the address's 32 bits as stored, in hex, and
// the port in hex.
std::string Ipv4End(in_addr address, in_port_t port) {
  char text[32];
  std::snprintf(text, sizeof text, "%08X:%04X", static_cast<unsigned>(address.s_addr), ntohs(port));
  return text;
}

// An IPv6 end as /proc/net/tcp6 writes it: four 32-bit words as stored.
std::string Ipv6End(const in6_addr& address, in_port_t port) {
  std::uint32_t words[4];
  std::memcpy(words, &address, sizeof words);
  char text[48];
  std::snprintf(text, sizeof text, "%08X%08X%08X%08X:%04X", static_cast<unsigned>(words[0]),
                static_cast<unsigned>(words[1]), static_cast<unsigned>(words[2]),
                static_cast<unsigned>(words[3]), ntohs(port));
  return text;
}

// An IPv4 address as an IPv6 socket connected to it holds it (::ffff:a.b.c.d).
in6_addr Mapped(in_addr address) {
  in6_addr mapped{};
  mapped.s6_addr[10] = 0xff;
  mapped.s6_addr[11] = 0xff;
  std::memcpy(&mapped.s6_addr[12], &address, 4);
  return mapped;
}

}  // namespace

std::optional<uid_t> PeerUid(int socket) {
  sockaddr_storage own{}, peer{};
  socklen_t own_size = sizeof own, peer_size = sizeof peer;
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&own), &own_size) != 0 ||
      ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0)
    return std::nullopt;
  if (own.ss_family == AF_INET && peer.ss_family == AF_INET) {
    const auto& o = reinterpret_cast<const sockaddr_in&>(own);
    const auto& p = reinterpret_cast<const sockaddr_in&>(peer);
    // The peer's socket: its local end is our remote end.
    if (auto uid = TcpSocketOwner(ReadWhole("/proc/net/tcp"), Ipv4End(p.sin_addr, p.sin_port),
                                  Ipv4End(o.sin_addr, o.sin_port)))
      return uid;
    // A client's IPv6 socket that reached our IPv4 address.
    return TcpSocketOwner(ReadWhole("/proc/net/tcp6"), Ipv6End(Mapped(p.sin_addr), p.sin_port),
                          Ipv6End(Mapped(o.sin_addr), o.sin_port));
  }
  if (own.ss_family == AF_INET6 && peer.ss_family == AF_INET6) {
    const auto& o = reinterpret_cast<const sockaddr_in6&>(own);
    const auto& p = reinterpret_cast<const sockaddr_in6&>(peer);
    return TcpSocketOwner(ReadWhole("/proc/net/tcp6"), Ipv6End(p.sin6_addr, p.sin6_port),
                          Ipv6End(o.sin6_addr, o.sin6_port));
  }
  return std::nullopt;
}

std::vector<uid_t> DefaultClientUids() {
  std::vector<uid_t> uids = {0, ::geteuid()};
  if (const std::optional<TDesktopUser> user = DesktopUser()) {
    uids.push_back(user->Uid);
  } else {
    // Root started the program himself (su, a root login): the owner of the login
    // session is the one at the desktop.
    const std::string login = ReadWhole("/proc/self/loginuid");
    unsigned long uid = 0;
    if (std::sscanf(login.c_str(), "%lu", &uid) == 1 && uid != 4294967295UL)
      uids.push_back(static_cast<uid_t>(uid));
  }
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  return uids;
}

}  // namespace quorvane
