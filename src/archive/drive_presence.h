// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Whether the drive under a target folder is still there. The drive is found through the
// folder's letter when the work starts; it is gone once that letter's drive no longer
// answers a free-space query. A folder of no letter counts as present while it exists.
#pragma once

#include <string>

namespace quorvane {

class TTargetDrive {
 public:
  explicit TTargetDrive(const std::string& folder);
  bool Gone() const;
  // The folder's lettered drive is gone. Nothing may then be created on the way to the
  // folder: where the drive's root was, it would land on the system's own disk.
  bool LetterGone() const { return FLetter != 0 && Gone(); }

 private:
  std::string FFolder;
  char FLetter;
};

}  // namespace quorvane
