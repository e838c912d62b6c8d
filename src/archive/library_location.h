// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Where the archive library may be loaded from, and the program's private temporary
// folder. The program runs as root, so neither may lie where another user can write.
#pragma once

#include <string>

namespace quorvane {

// The installed library, or the file named by QUORVANE_7Z_LIBRARY.
inline constexpr const char* kInstalled7zLibrary = "/usr/lib/p7zip/7z.so";
std::string Default7zLibraryPath();

// Opens `path` for reading, following a symbolic link only when root or the running user
// owns it, and checks what was opened: a regular file owned by root or us that no one else
// can write, every folder on its real path likewise (a sticky folder of root's, such as
// /tmp, counts as safe). The descriptor (close-on-exec), or -1 with the reason in `why`.
int OpenTrustedFile(const std::string& path, std::string& why);

// True when OpenTrustedFile accepts `path`; `why` says what failed.
bool PathIsTrusted(const std::string& path, std::string& why);

// Whether the archive library at `path` can be used: it is trusted as above and loads as
// a format library. False with the reason in `why`.
bool Check7zLibrary(const std::string& path, std::string& why);

// Empty when the library in use (Lib7zPath) can be used; else a message naming its path
// and why it cannot.
std::string ArchiveLibraryProblem();

// True when `folder` is a real folder (not a symbolic link) of ours that no one else
// can write.
bool FolderIsPrivate(const std::string& folder, std::string& why);

}  // namespace quorvane
