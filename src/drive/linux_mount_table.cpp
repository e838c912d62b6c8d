// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/linux_mount_table.h"

#include <fstream>
#include <sstream>

namespace quorvane {

namespace {

std::string Unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

}  // namespace

std::vector<TMountEntry> ParseMountInfo(const std::string& text) {
  std::vector<TMountEntry> entries;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // id parent major:minor root mount-point options [optional fields...] - type source super
    const std::vector<std::string> w = Words(line);
    if (w.size() < 10) continue;
    std::size_t dash = 6;
    while (dash < w.size() && w[dash] != "-") ++dash;
    if (dash + 2 >= w.size()) continue;
    if (w[2].find(':') == std::string::npos) continue;
    TMountEntry entry;
    entry.DevNumber = w[2];
    entry.Root = Unescape(w[3]);
    entry.MountPoint = Unescape(w[4]);
    entry.Options = w[5];
    entry.FsType = Unescape(w[dash + 1]);
    entry.Source = Unescape(w[dash + 2]);
    if (dash + 3 < w.size()) entry.SuperOptions = w[dash + 3];
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<TUtabEntry> ParseUtab(const std::string& text) {
  std::vector<TUtabEntry> entries;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    TUtabEntry entry;
    for (const std::string& word : Words(line)) {
      const std::size_t eq = word.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = word.substr(0, eq), value = Unescape(word.substr(eq + 1));
      if (key == "SRC") entry.Source = value;
      if (key == "TARGET") entry.Target = value;
      if (key == "OPTS") entry.Options = value;
    }
    if (!entry.Target.empty()) entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<std::string> ParseSwaps(const std::string& text) {
  std::vector<std::string> areas;
  std::istringstream lines(text);
  std::string line;
  bool header = true;
  while (std::getline(lines, line)) {
    if (header) {  // "Filename  Type  Size  Used  Priority"
      header = false;
      continue;
    }
    const std::vector<std::string> w = Words(line);
    if (w.size() >= 2) areas.push_back(Unescape(w[0]));
  }
  return areas;
}

std::vector<std::string> ParseFileSystems(const std::string& text) {
  std::vector<std::string> names;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::vector<std::string> w = Words(line);
    if (!w.empty()) names.push_back(w.back());
  }
  return names;
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

}  // namespace quorvane
