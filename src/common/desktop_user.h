// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The person at the desktop on whose behalf the program runs as root (started through
// pkexec or sudo), his session, and the programs of his desktop (file dialog, web
// browser) run as him with his own environment.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "common/tool_runner.h"

namespace quorvane {

struct TDesktopUser {
  uid_t Uid = 0;
  gid_t Gid = 0;
  std::string Name;
  std::string Home;
};

// The user behind pkexec (PKEXEC_UID) or sudo (SUDO_UID) while the program runs as root
// for him; none when it runs as its own user or root started it himself.
std::optional<TDesktopUser> DesktopUser();

// The user's runtime folder handed over by a re-run through pkexec (which clears the
// environment), kept for his programs rather than set in the program's own environment,
// so that nothing running as root creates files in it. Set once at start-up.
void SetDesktopRuntimeDir(const std::string& folder);
// That folder; else, for a desktop user, /run/user/UID when it is his; else
// XDG_RUNTIME_DIR. Empty when none is known.
std::string DesktopRuntimeDir();

// The command as the desktop user runs it: through runuser when the program runs as root
// for one (the program named by `command.Tool` or `command.Program`), else unchanged.
TToolCommand AsDesktopUser(TToolCommand command);

}  // namespace quorvane
