// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "common/utf8.h"

namespace quorvane {

namespace {

// At most `width` characters, with "~" in place of what was cut; padded with blanks.
std::string Fit(const std::string& text, std::size_t width) {
  if (width == 0) return {};
  const std::size_t chars = Utf8CharacterCount(text);
  if (chars <= width) return text + std::string(width - chars, ' ');
  std::string out;
  std::size_t taken = 0;
  for (char c : text) {
    const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts && ++taken > width - 1) break;
    out += c;
  }
  return out + "~";
}

class TTerminalView : public TBurnView {
 public:
  TTerminalView(std::FILE* out, std::vector<TEntryView> entries, int columns)
      : FOut(out), FEntries(std::move(entries)), FColumns(std::max(columns, 40)) {
    Draw();
  }

  void DriveStep(const std::string& text) override {
    FDriveStep = text;
    Draw();
  }

  void EntryChanged(std::size_t index, const TEntryView& entry) override {
    if (index >= FEntries.size()) return;
    FEntries[index] = entry;
    Draw();
  }

  void Note(const std::string& text) override {
    FNotes.push_back(text);
    Draw();
  }

  void End() override {
    // The bars stay on the screen as they are.
    std::fflush(FOut);
  }

 private:
  void Draw() {
    std::string text;
    if (FDrawn > 0) text += "\033[" + std::to_string(FDrawn) + "A";
    // Notes scroll up above the block and stay there.
    for (const std::string& note : FNotes) text += "\r\033[K" + note + "\n";
    FNotes.clear();
    text += "\r\033[K" + Fit(FDriveStep, static_cast<std::size_t>(FColumns - 1)) + "\n";
    for (const TEntryView& e : FEntries) text += "\r\033[K" + EntryBarLine(e, FColumns) + "\n";
    FDrawn = static_cast<int>(FEntries.size()) + 1;
    std::fputs(text.c_str(), FOut);
    std::fflush(FOut);
  }

  std::FILE* FOut;
  std::vector<TEntryView> FEntries;
  std::vector<std::string> FNotes;
  std::string FDriveStep;
  int FColumns;
  int FDrawn = 0;
};

class TPlainView : public TBurnView {
 public:
  TPlainView(std::FILE* out, std::vector<TEntryView> entries)
      : FOut(out), FEntries(std::move(entries)) {}

  void DriveStep(const std::string& text) override { Line(text); }

  void EntryChanged(std::size_t index, const TEntryView& entry) override {
    if (index >= FEntries.size()) return;
    TEntryView& known = FEntries[index];
    if (entry.Status != known.Status) {
      Line("[" + entry.Name + "] " + entry.Status);
    } else if (entry.Progress / 10 > known.Progress / 10) {
      Line("[" + entry.Name + "] " + std::to_string(entry.Progress / 10 * 10) + "%");
    }
    // A percentage that did not cross a tenth is kept back, so that the next tenth is
    // still told.
    if (entry.Status != known.Status || entry.Progress / 10 != known.Progress / 10) known = entry;
  }

  void Note(const std::string& text) override { Line(text); }
  void End() override { std::fflush(FOut); }

 private:
  void Line(const std::string& text) {
    std::fprintf(FOut, "%s\n", text.c_str());
    std::fflush(FOut);
  }

  std::FILE* FOut;
  std::vector<TEntryView> FEntries;
};

}  // namespace

std::string EntryBarLine(const TEntryView& entry, int columns) {
  constexpr std::size_t kStatusWidth = 10;  // "Cancelling"
  const std::size_t width = static_cast<std::size_t>(std::max(columns, 40) - 1);
  const std::size_t bar = width >= 80 ? 30 : 20;
  const std::size_t fixed = 1 + 2 + bar + 2 + 4 + 1 + kStatusWidth;  // " [bar] 100% Status"
  const std::size_t name = width > fixed + 8 ? width - fixed : 8;
  const int progress = std::clamp(entry.Progress, 0, 100);
  const std::size_t filled = bar * static_cast<std::size_t>(progress) / 100;
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", progress);
  std::string line = Fit(entry.Name, name) + " [" + std::string(filled, '#') +
                     std::string(bar - filled, '.') + "] " + percent + " " + entry.Status;
  return line;
}

int TerminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::unique_ptr<TBurnView> MakeTerminalView(std::FILE* out, std::vector<TEntryView> entries,
                                            int columns) {
  return std::make_unique<TTerminalView>(out, std::move(entries), columns);
}

std::unique_ptr<TBurnView> MakePlainView(std::FILE* out, std::vector<TEntryView> entries) {
  return std::make_unique<TPlainView>(out, std::move(entries));
}

}  // namespace quorvane
