// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// What the start-up needs from the rest of the program: the control server of the online
// run, the remote service client, the main window of the portable run and the fallback
// question. Each is made by a factory of its own subsystem.
#pragma once

#include <memory>
#include <string>

namespace quorvane {

class TJobs;

// The local HTTP control server of the online run.
class IControlServer {
 public:
  virtual ~IControlServer() = default;
  virtual void SetDefaultPort(int port) = 0;
  // Starts listening; throws std::exception whose message says why it cannot.
  virtual void Activate() = 0;
  virtual void Deactivate() = 0;
  // The control module's job list; nullptr while no request has arrived.
  virtual TJobs* Jobs() = 0;
  // Opens the page in the desktop user's browser, once the server listens.
  virtual void OpenPage() {}
};

// Requests to the remote service.
class IServiceClient {
 public:
  virtual ~IServiceClient() = default;
  // A local TCP port that no connection uses, or `default_port`.
  virtual int FindFreePort(int default_port) = 0;
  // Registers the control server's port; true on success.
  virtual bool PostPort(int port) = 0;
  virtual void SendErrorLog(const std::string& text) = 0;
  // Posts the jobs and their states (a warning when there are none or `jobs` is null).
  virtual void SendJobsLog(TJobs* jobs) = 0;
};

// The main window of the portable run.
class IPortableWindow {
 public:
  virtual ~IPortableWindow() = default;
  // Shows the window and runs until it is closed; false (having said why) when no window
  // could be shown.
  virtual bool RunUntilClosed() = 0;
  // The window's job list, read after it has closed.
  virtual TJobs* Jobs() = 0;
};

enum class TDialogAnswer { Yes, No, Closed };

// A modal warning with the buttons Yes and No.
class IFallbackDialog {
 public:
  virtual ~IFallbackDialog() = default;
  virtual TDialogAnswer AskYesNo(const std::string& text) = 0;
};

// The program's own implementations.
// `ExistLoaders` is the online run's opaque text, handed back to the page unchanged.
std::unique_ptr<IControlServer> CreateControlServer(const std::string& ExistLoaders);
std::unique_ptr<IServiceClient> CreateServiceClient();
std::unique_ptr<IPortableWindow> CreatePortableWindow(int argc, char** argv);
std::unique_ptr<IFallbackDialog> CreateFallbackDialog(int argc, char** argv);

}  // namespace quorvane
