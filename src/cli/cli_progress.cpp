// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "cli/cli_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "cli/terminal_columns.h"
#include "common/transfer_meter.h"
#include "jobs/job_status.h"

namespace quorvane {

namespace {

class TTerminalView : public TBurnView {
 public:
  TTerminalView(std::FILE* out, std::vector<TEntryView> entries, int columns,
                std::atomic<bool>* resized, std::function<int()> columns_now)
      : FOut(out),
        FEntries(std::move(entries)),
        FColumns(std::max(columns, 40)),
        FResized(resized),
        FColumnsNow(std::move(columns_now)) {
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

  void Tick() override {
    if (!FResized || !FResized->exchange(false)) return;
    const int columns = std::max(FColumnsNow ? FColumnsNow() : FColumns, 40);
    // A terminal that re-flows its lines has wrapped the old ones that are now too wide:
    // go up over every row they take, and clear all below before drawing anew.
    int rows = 0;
    for (std::size_t w : FLineColumns)
      rows += std::max<int>(1, static_cast<int>((std::max<std::size_t>(w, 1) + columns - 1) /
                                                static_cast<std::size_t>(columns)));
    FColumns = columns;
    FClearRows = rows;
    Draw();
  }

 private:
  void Draw() {
    std::string text;
    if (FClearRows > 0) {
      text += "\r\033[" + std::to_string(FClearRows) + "A\033[J";
      FClearRows = 0;
    } else if (FDrawn > 0) {
      text += "\033[" + std::to_string(FDrawn) + "A";
    }
    // Notes scroll up above the block and stay there.
    for (const std::string& note : FNotes) text += "\r\033[K" + note + "\n";
    FNotes.clear();
    FLineColumns.clear();
    std::string step = FitToColumns(FDriveStep, static_cast<std::size_t>(FColumns - 1));
    while (!step.empty() && step.back() == ' ') step.pop_back();
    text += "\r\033[K" + step + "\n";
    FLineColumns.push_back(TerminalColumnsOf(step));
    std::size_t names = 0;
    for (const TEntryView& e : FEntries) names = std::max(names, TerminalColumnsOf(e.Name));
    for (const TEntryView& e : FEntries) {
      const std::string line = EntryBarLine(e, FColumns, names);
      text += "\r\033[K" + line + "\n";
      FLineColumns.push_back(TerminalColumnsOf(line));
    }
    FDrawn = static_cast<int>(FEntries.size()) + 1;
    std::fputs(text.c_str(), FOut);
    std::fflush(FOut);
  }

  std::FILE* FOut;
  std::vector<TEntryView> FEntries;
  std::vector<std::string> FNotes;
  std::vector<std::size_t> FLineColumns;  // of the block as last drawn
  std::string FDriveStep;
  int FColumns;
  int FDrawn = 0;
  int FClearRows = 0;
  std::atomic<bool>* FResized;
  std::function<int()> FColumnsNow;
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
      std::string line = "[" + entry.Name + "] " + std::to_string(entry.Progress / 10 * 10) + "%";
      const std::string rate = RateText(entry.Rate);
      const std::string left = TimeLeftText(entry.SecondsLeft);
      if (!entry.Step.empty()) {
        line += " " + entry.Step;
      } else if (!rate.empty()) {
        line += " " + rate + (left.empty() ? "" : ", " + left);
      }
      Line(line);
    } else if (!entry.Step.empty() && entry.Step != known.Step) {
      Line("[" + entry.Name + "] " + entry.Step);
    }
    // A percentage that did not cross a tenth is kept back, so that the next tenth is
    // still told.
    if (entry.Status != known.Status || entry.Progress / 10 != known.Progress / 10) {
      known = entry;
    } else {
      known.Step = entry.Step;
    }
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

std::string EntryDetail(const TEntryView& entry, std::size_t columns) {
  std::vector<std::string> forms;
  // Both the write and the read-back move bytes at a rate worth telling.
  const bool moving = entry.Status == kStatusRunning || entry.Status == kStatusVerifying;
  if (moving && !entry.Step.empty()) {
    forms.push_back(entry.Status + ", " + entry.Step);
  } else if (moving) {
    const std::string rate = RateText(entry.Rate);
    const std::string left = TimeLeftText(entry.SecondsLeft);
    if (!rate.empty() && !left.empty()) forms.push_back(entry.Status + " " + rate + ", " + left);
    if (!rate.empty()) forms.push_back(entry.Status + " " + rate);
  }
  for (const std::string& form : forms)
    if (TerminalColumnsOf(form) <= columns) return form;
  return entry.Status;
}

std::string EntryBarLine(const TEntryView& entry, int columns, std::size_t name_columns) {
  const std::size_t width = static_cast<std::size_t>(std::max(columns, 40) - 1);
  const std::size_t bar = width >= 80 ? 30 : 20;
  const std::size_t fixed = 1 + 2 + bar + 2 + 4 + 1;  // " [bar] 100% "
  // The name as wide as the widest of the block, leaving the detail at least 10 columns.
  const std::size_t wanted = name_columns ? name_columns : TerminalColumnsOf(entry.Name);
  const std::size_t most = width > fixed + 10 + 8 ? width - fixed - 10 : 8;
  const std::size_t name = std::clamp<std::size_t>(wanted, 8, most);
  const int progress = std::clamp(entry.Progress, 0, 100);
  const std::size_t filled = bar * static_cast<std::size_t>(progress) / 100;
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", progress);
  std::string line = FitToColumns(entry.Name, name) + " [" + std::string(filled, '#') +
                     std::string(bar - filled, '.') + "] " + percent + " ";
  const std::size_t room = width > name + fixed ? width - name - fixed : 0;
  std::string detail = EntryDetail(entry, room);
  if (TerminalColumnsOf(detail) > room) detail = FitToColumns(detail, room);
  line += detail;
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

int TerminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::unique_ptr<TBurnView> MakeTerminalView(std::FILE* out, std::vector<TEntryView> entries,
                                            int columns, std::atomic<bool>* resized,
                                            std::function<int()> columns_now) {
  return std::make_unique<TTerminalView>(out, std::move(entries), columns, resized,
                                         std::move(columns_now));
}

std::unique_ptr<TBurnView> MakePlainView(std::FILE* out, std::vector<TEntryView> entries) {
  return std::make_unique<TPlainView>(out, std::move(entries));
}

}  // namespace quorvane
