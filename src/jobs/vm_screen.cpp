// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/vm_screen.h"

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>

namespace quorvane {

namespace {

constexpr std::size_t kVgaColumns = 80;
// Bounds of a screen drawn from the serial port, whatever the guest sends.
constexpr int kMaxRows = 100, kMaxColumns = 240;
constexpr std::size_t kMaxParams = 32;

// A character of code page 437 as the screens show it in ASCII.
char Plain(unsigned char c) {
  if (c >= 0x20 && c < 0x7f) return static_cast<char>(c);
  switch (c) {
    case 0xb3: case 0xba:  // vertical lines
      return '|';
    case 0xc4: case 0xcd:  // horizontal lines
      return '-';
    case 0xda: case 0xbf: case 0xc0: case 0xd9:  // corners, single
    case 0xc9: case 0xbb: case 0xc8: case 0xbc:  // corners, double
    case 0xc3: case 0xb4: case 0xc2: case 0xc1: case 0xc5:
      return '+';
    default:
      return ' ';
  }
}

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : TrimRight(text.substr(first));
}

// A number of an escape sequence. Some firmware writes column 100 as ":0", a digit past
// '9', so every character from '0' counts by its distance from it.
int EscapeNumber(const std::string& text, int absent) {
  if (text.empty()) return absent;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '?') return absent;
    value = std::min(value * 10 + (c - '0'), 100000);
  }
  return value;
}

std::vector<std::string> SplitParams(const std::string& params) {
  std::vector<std::string> parts(1);
  for (char c : params) {
    if (c == ';')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

}  // namespace

TVmScreen VgaTextScreen(const std::string& monitor_output) {
  static const std::regex row("^[0-9a-f]{16}: ((?:0x[0-9a-f]{2} ?)+)$");
  std::vector<int> bytes;
  std::istringstream in(monitor_output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    std::istringstream values(m[1].str());
    for (std::string v; values >> v;) bytes.push_back(std::stoi(v, nullptr, 16));
  }
  TVmScreen screen;
  std::vector<int> colours;  // the commonest colour of each row
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (i % (2 * kVgaColumns) == 0) {
      screen.Rows.emplace_back();
      colours.push_back(-1);
    }
    screen.Rows.back() += Plain(static_cast<unsigned char>(bytes[i]));
    // The colour of the row's first letter stands for the row.
    if (colours.back() < 0 && bytes[i] > 0x20 && bytes[i] < 0x7f) colours.back() = bytes[i + 1];
  }
  // The highlighted row: a row whose letters are in a colour that no other row has.
  std::map<int, int> rows_of_colour;
  for (int colour : colours)
    if (colour >= 0) ++rows_of_colour[colour];
  for (std::size_t r = 0; r < colours.size(); ++r) {
    if (colours[r] >= 0 && rows_of_colour[colours[r]] == 1 && rows_of_colour.size() > 1) {
      screen.Highlighted = static_cast<int>(r);
      break;
    }
  }
  return screen;
}

std::string& TAnsiScreen::Row(int row) {
  if (FRows.size() <= static_cast<std::size_t>(row)) FRows.resize(row + 1);
  return FRows[row];
}

void TAnsiScreen::NewLine() {
  if (FRow + 1 < kMaxRows) {
    ++FRow;
    return;
  }
  // At the bottom the screen scrolls.
  if (!FRows.empty()) FRows.erase(FRows.begin());
  if (FHighlighted >= 0) --FHighlighted;
}

void TAnsiScreen::Put(char c) {
  if (FCol >= kMaxColumns) return;
  std::string& row = Row(FRow);
  if (row.size() <= static_cast<std::size_t>(FCol)) row.resize(FCol + 1, ' ');
  row[FCol++] = Plain(static_cast<unsigned char>(c));
  if (FInverse && c != ' ') FHighlighted = FRow;
}

void TAnsiScreen::Csi(char command) {
  const std::vector<std::string> params = SplitParams(FParams);
  switch (command) {
    case 'H':
    case 'f': {
      FRow = std::clamp(EscapeNumber(params[0], 1) - 1, 0, kMaxRows - 1);
      FCol = std::clamp(EscapeNumber(params.size() > 1 ? params[1] : "", 1) - 1, 0, kMaxColumns);
      break;
    }
    case 'C':
      FCol = std::min(FCol + std::max(1, EscapeNumber(params[0], 1)), kMaxColumns);
      break;
    case 'D':
      FCol = std::max(0, FCol - std::max(1, EscapeNumber(params[0], 1)));
      break;
    case 'J':
      if (EscapeNumber(params[0], 0) == 2) {
        FRows.clear();
        FHighlighted = -1;
      }
      break;
    case 'K': {
      std::string& row = Row(FRow);
      if (row.size() > static_cast<std::size_t>(FCol)) row.resize(FCol);
      break;
    }
    case 'm':
      // Black letters on a light background, or reverse video: a highlighted item.
      for (const std::string& p : params) {
        const int value = EscapeNumber(p, 0);
        if (value == 0 || value == 27 || (value >= 40 && value <= 46) || value == 37) FInverse = false;
        if (value == 7 || value == 47 || value == 30) FInverse = true;
      }
      break;
    default:
      break;
  }
}

void TAnsiScreen::Feed(std::string_view bytes) {
  for (char c : bytes) {
    switch (FState) {
      case TState::Text:
        if (c == '\x1b')
          FState = TState::Escape;
        else if (c == '\r')
          FCol = 0;
        else if (c == '\n')
          NewLine();
        else if (c == '\b')
          FCol = std::max(0, FCol - 1);
        else if (static_cast<unsigned char>(c) >= 0x20)
          Put(c);
        break;
      case TState::Escape:
        if (c == '[') {
          FState = TState::Csi;
          FParams.clear();
        } else {
          FState = TState::Text;
        }
        break;
      case TState::Csi:
        if ((c >= '0' && c <= '?') && FParams.size() < kMaxParams) {
          FParams += c;
        } else if (c >= 0x40 && c <= 0x7e) {
          Csi(c);
          FState = TState::Text;
        } else if (!(c >= 0x20 && c <= 0x3f)) {
          FState = TState::Text;  // not an escape after all
        }
        break;
    }
  }
}

TVmScreen TAnsiScreen::Screen() const {
  TVmScreen screen;
  screen.Rows = FRows;
  screen.Highlighted = FHighlighted;
  return screen;
}

TVmMenu FindMenu(const TVmScreen& screen) {
  static const std::regex edge("^ *\\+-{8,}\\+ *$");
  const std::vector<std::string>& rows = screen.Rows;
  TVmMenu menu;
  for (std::size_t top = 0; top < rows.size(); ++top) {
    if (!std::regex_match(rows[top], edge)) continue;
    const std::size_t left = rows[top].find('+');
    const std::size_t right = rows[top].rfind('+');
    std::size_t r = top + 1;
    std::vector<std::string> items;
    int highlighted = -1;
    for (; r < rows.size(); ++r) {
      const std::string& row = rows[r];
      if (row.size() <= right || row[left] != '|' || row[right] != '|') break;
      std::string item = Trim(row.substr(left + 1, right - left - 1));
      // GRUB 2 marks the highlighted item with a star.
      if (item.size() > 1 && item[0] == '*') {
        item = Trim(item.substr(1));
        highlighted = static_cast<int>(items.size());
      } else if (static_cast<int>(r) == screen.Highlighted && !item.empty()) {
        if (highlighted < 0) highlighted = static_cast<int>(items.size());
      }
      if (item.empty()) continue;
      items.push_back(item);
    }
    if (r < rows.size() && std::regex_match(rows[r], edge) && !items.empty()) {
      menu.Items = std::move(items);
      menu.Highlighted = highlighted;
      return menu;
    }
  }
  return menu;
}

std::string BootLoaderError(const std::string& text) {
  static const std::regex error("(^|[ \t])(Error [0-9]+:?|error:)");
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (std::regex_search(line, error)) return Trim(TrimRight(line));
  }
  return {};
}

std::string ScreenText(const std::vector<std::string>& rows) {
  std::vector<std::string> kept;
  for (const std::string& row : rows) kept.push_back(TrimRight(row));
  while (!kept.empty() && kept.back().empty()) kept.pop_back();
  std::string text;
  for (const std::string& row : kept) text += row + "\n";
  return text;
}

std::vector<std::string> LastLines(const std::vector<std::string>& rows, std::size_t count) {
  std::vector<std::string> lines;
  for (auto it = rows.rbegin(); it != rows.rend() && lines.size() < count; ++it) {
    std::string line = TrimRight(*it);
    if (Trim(line).empty()) continue;
    lines.insert(lines.begin(), std::move(line));
  }
  return lines;
}

}  // namespace quorvane
