// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The HTTP server under the control server: cpp-httplib's request handling behind a gate
// of our own. A connection is served only for a user the caller admits; each request's
// head is read, bounded, by one poller thread and checked (size, header count, announced
// body, the run's secret) before a worker of a fixed pool reads its body, bounded too, and
// runs the handler. Idle keep-alive connections wait in the poller, not on a worker;
// when the pool's backlog or the connection count is full, the client gets 503.
#pragma once

#include <httplib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "server/request_head.h"

namespace quorvane {

struct TServerLimits : TRequestLimits {
  int Workers = 8;
  std::size_t Backlog = 256;         // connections with a whole head waiting for a worker
  std::size_t MaxConnections = 512;  // open at once; more get 503
  int ListenBacklog = 1024;
  std::chrono::milliseconds HeadTimeout{10000};  // a head must arrive whole within this
  std::chrono::milliseconds IdleTimeout{5000};   // between two requests of a connection
  std::chrono::milliseconds ReadTimeout{5000};   // each wait for body bytes
  std::chrono::milliseconds BodyTimeout{30000};  // the whole body
  std::chrono::milliseconds WriteTimeout{5000};
  std::size_t MaxRequestsPerConnection = 10000;
};

class TConnectionGate;

class TGuardedHttpServer : public httplib::Server {
 public:
  // `admit` is asked once per connection with its socket; `token` is the secret every
  // request must carry.
  TGuardedHttpServer(TServerLimits limits, std::function<bool(int socket)> admit,
                     std::string token);
  ~TGuardedHttpServer() override;

  // Binds 127.0.0.1:port with the larger listen backlog and starts the poller and the
  // workers; false (errno set) when the port cannot be bound, throws when no thread can
  // be made.
  bool BindLoopback(int port);

  const TServerLimits& Limits() const { return FLimits; }

 private:
  // The listener's accepted connection goes to the gate, which serves and closes it.
  bool process_and_close_socket(socket_t sock) override;
  friend class TConnectionGate;

  TServerLimits FLimits;
  std::function<bool(int)> FAdmit;
  std::string FToken;
  std::unique_ptr<TConnectionGate> FGate;
};

}  // namespace quorvane
