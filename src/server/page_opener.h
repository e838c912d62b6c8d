// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The file through which the desktop user's browser reaches the control server: only he
// can read it (mode 0600, his own, in his runtime folder or a private folder of his), and
// it sends the browser on to the page's address with the run's secret.
#pragma once

#include <sys/types.h>

#include <string>

namespace quorvane {

// The file's text: a redirect to `url`.
std::string PageOpenerText(const std::string& url);

class TPageOpenerFile {
 public:
  TPageOpenerFile() = default;
  ~TPageOpenerFile();  // removes the file (and the private folder made for it)
  TPageOpenerFile(const TPageOpenerFile&) = delete;
  TPageOpenerFile& operator=(const TPageOpenerFile&) = delete;

  // Writes the file for `uid`:`gid` in `folder` when that is his own folder that nobody
  // else may write to, else in a private folder made for him under /tmp. Throws
  // std::runtime_error saying why when it cannot.
  void Write(const std::string& text, uid_t uid, gid_t gid, const std::string& folder);
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
  std::string FMadeFolder;
};

}  // namespace quorvane
