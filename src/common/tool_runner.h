// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The one way the program runs the system's tools: by absolute path from the system's own
// folders, with a fixed environment (LC_ALL=C), its exit status and error text checked at
// every call, and the command line kept for the error message.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

struct TToolCommand {
  std::string Tool;               // a tool name such as "sfdisk"
  std::vector<std::string> Args;  // its arguments
  std::string Input;              // fed to its standard input, which then ends
  std::chrono::milliseconds Limit = std::chrono::minutes(10);
  // A program outside the system's folders, by absolute path, run in place of `Tool`
  // (a program the user named, such as a file dialog of his choice).
  std::string Program;
  // Replaces the fixed environment, for programs that need the user's desktop session.
  std::vector<std::string> Environment;
};

struct TToolResult {
  std::string CommandLine;  // as run, for messages
  bool Started = false;
  std::string StartError;   // why it could not be run
  bool TimedOut = false;
  int ExitStatus = -1;
  int TermSignal = 0;
  std::string Output;
  std::string ErrorOutput;

  // Started, ended by itself with status 0.
  bool Succeeded() const;
  // The tool's own error text (its standard error, else its output), then the command
  // line and how it ended; or why it could not be run.
  std::string ErrorText() const;
};

class IToolRunner {
 public:
  virtual ~IToolRunner() = default;
  virtual TToolResult Run(const TToolCommand& command) = 0;
  // Whether the tool is installed.
  virtual bool Available(const std::string& tool) = 0;
};

// Absolute path of a tool in /usr/sbin, /usr/bin, /sbin or /bin; empty when none has it.
std::string FindTool(const std::string& tool);

// The environment every tool gets.
const std::vector<std::string>& ToolEnvironment();

// For programs that show something in the user's desktop session (a file dialog, the web
// browser): the given locale, a plain search path, and the session's own variables
// (display, session bus, runtime folder, home) taken from ours.
std::vector<std::string> DesktopSessionEnvironment(const std::string& locale);

// Runs the real tools through TDosAppWorks.
class TSystemToolRunner : public IToolRunner {
 public:
  TToolResult Run(const TToolCommand& command) override;
  bool Available(const std::string& tool) override;
};

std::shared_ptr<IToolRunner> SystemToolRunner();

// One line of text: the trimmed lines of `text` joined with "; ".
std::string OneLine(const std::string& text);

}  // namespace quorvane
