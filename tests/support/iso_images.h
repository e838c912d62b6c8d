// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Small ISO images made at test time.
#pragma once

#include <map>
#include <string>

namespace quorvane::testing {

// Makes an ISO 9660 image (with Rock Ridge and Joliet names) holding `files` (path inside
// the image -> content) at `iso`; fails the test when xorriso cannot.
void MakeIso(const std::string& iso, const std::map<std::string, std::string>& files);

// The same with an El Torito boot record (a no-emulation boot image, boot/boot.img), as a
// CD that starts by itself carries.
void MakeBootableIso(const std::string& iso, const std::map<std::string, std::string>& files);

// A small image with what loader type `code` needs to boot: an El Torito record for the
// CD types; sources/boot.wim and install.wim for Windows; kernel, initrd and live file
// system for the Linux types. Code -1: one image that every loader type accepts. `extra`
// files come on top (and replace those of the same path).
void MakeLoaderImage(const std::string& iso, int code,
                     const std::map<std::string, std::string>& extra = {});

}  // namespace quorvane::testing
