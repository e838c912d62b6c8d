// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The partition entries that GRUB4DOS's "partnew" leaves behind: the CD entries make the
// image they map a partition of type 0 at each boot, and that entry stays in the drive's
// table, overlapping the main partition.
#pragma once

namespace quorvane {

// Clears, in a copy of sector 0, every entry of type 0 that lies inside partition 1
// (the first entry); answers how many it cleared. Other entries are left as they are.
int ClearStalePartitionEntries(unsigned char* sector0);

}  // namespace quorvane
