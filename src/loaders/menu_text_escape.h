// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Titles and paths for the boot menus, one function per menu language, so that nothing
// in a name is expanded or read as syntax.
#pragma once

#include <string>

namespace quorvane {

// GRUB4DOS: every character it would expand or read as syntax in a menu line becomes "_":
// "%" (its variables: "p%@root%q" shows as "p(hd0,0)q"), "\" (its escapes), blanks, tabs
// and control characters (they end a word or a line), and " < > | ; & ^ ! (quoting,
// redirection and command chaining, in GRUB4DOS and in the Windows scripts that read the
// same paths). GRUB4DOS has no quoting that covers all of them, so the names given to
// images on the drive are made with this, and their paths need nothing more.
std::string Grub4DosMenuText(const std::string& text);

// GRUB 2: `text` as one word in single quotes, each "'" written as '\'' ; nothing inside
// is expanded ("$", "\", blanks, ";", braces and quotes stay as they are).
std::string Grub2MenuWord(const std::string& text);

}  // namespace quorvane
