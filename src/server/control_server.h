// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The local HTTP control server of the online run: listens on 127.0.0.1 only, one thread
// per connection, refuses requests from other web pages, and hands every other request to
// the one control module, which it creates when the first request arrives.
#pragma once

#include <memory>
#include <mutex>
#include <thread>

#include "server/web_module.h"
#include "startup/front_ends.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace quorvane {

class TControlServer : public IControlServer {
 public:
  explicit TControlServer(TControlModuleSetup setup);
  ~TControlServer() override;

  void SetDefaultPort(int port) override;
  // Binds 127.0.0.1 on the port and starts serving; throws std::runtime_error saying why
  // it cannot.
  void Activate() override;
  // Stops listening and waits for the connection threads.
  void Deactivate() override;
  TJobs* Jobs() override;

  int Port() const { return FPort; }
  // The control module; nullptr before the first request.
  TWebModule1* Module();

 private:
  void Handle(const httplib::Request& request, httplib::Response& response);
  // The Host header names this server and any Origin header is this server's own.
  bool Acceptable(const httplib::Request& request) const;

  TControlModuleSetup FSetup;
  int FPort = 8080;
  std::unique_ptr<httplib::Server> FServer;
  std::thread FListener;
  std::mutex FModuleLock;
  std::unique_ptr<TWebModule1> FModule;
};

}  // namespace quorvane
