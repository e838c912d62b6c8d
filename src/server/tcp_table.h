// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Who owns a TCP socket: the reading of the kernel's connection tables (/proc/net/tcp and
// tcp6), and the users the control server serves.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The uid column of the row whose local and remote ends are `local` and `remote`, both
// written as the table writes them ("0100007F:1F90"; letter case does not matter). None
// when no row has them or the row cannot be read.
std::optional<uid_t> TcpSocketOwner(std::string_view table, std::string_view local,
                                    std::string_view remote);

// The owner of the other end of a connected loopback socket, looked up in the tables:
// the row whose local end is the peer's address. None when it is not found (the peer has
// gone, or is not on this computer).
std::optional<uid_t> PeerUid(int socket);

// The users whom the control server serves: root, the program's own user, and the
// desktop user it runs for (PKEXEC_UID or SUDO_UID, else the owner of the login session).
std::vector<uid_t> DefaultClientUids();

}  // namespace quorvane
