// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The local HTTP control server of the online run: listens on 127.0.0.1 only, serves only
// root and the desktop user, and only requests that carry the run's secret and come from
// its own page; hands each of them to the one control module, which it creates when the
// first such request arrives.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "server/guarded_http_server.h"
#include "server/page_opener.h"
#include "server/web_module.h"
#include "startup/front_ends.h"

namespace quorvane {

class TControlServer : public IControlServer {
 public:
  // `limits` bound what one client may make the server read, hold or wait for.
  explicit TControlServer(TControlModuleSetup setup, TServerLimits limits = TServerLimits());
  ~TControlServer() override;

  void SetDefaultPort(int port) override;
  // Binds 127.0.0.1 on the port and starts serving; throws std::runtime_error saying why
  // it cannot.
  void Activate() override;
  // Stops listening and waits for the connection threads.
  void Deactivate() override;
  TJobs* Jobs() override;
  // Writes the page's opening file for the desktop user and opens it in his browser.
  void OpenPage() override;

  int Port() const { return FPort; }
  // The run's secret: 32 random bytes in hex, made when the server is.
  const std::string& Token() const { return FToken; }
  // The control module; nullptr before the first request.
  TWebModule1* Module();

 private:
  // One request whose body is `body`.
  void Handle(const httplib::Request& request, httplib::Response& response, const std::string& body);
  // The Host header names this server and any Origin header is this server's own.
  bool Acceptable(const httplib::Request& request) const;

  bool Admit(int socket) const;

  TControlModuleSetup FSetup;
  TServerLimits FLimits;
  std::string FToken;
  std::vector<uid_t> FClientUids;
  int FPort = 8080;
  std::unique_ptr<TGuardedHttpServer> FServer;
  std::thread FListener;
  std::mutex FModuleLock;
  std::unique_ptr<TWebModule1> FModule;
  std::unique_ptr<TPageOpenerFile> FPageFile;
};

}  // namespace quorvane
