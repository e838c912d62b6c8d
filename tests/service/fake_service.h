// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// A stand-in for the remote service on loopback: records every request it receives, and
// answers with a chosen status after a chosen delay. The signature check of its requests
// is independent of the program's code: the openssl command computes the HMAC.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace quorvane::testing {

struct TReceivedRequest {
  std::string Path;
  std::string ContentType;
  std::string Body;
};

class TFakeService {
 public:
  TFakeService();
  ~TFakeService();

  // The base URL ("http://127.0.0.1:PORT/api/") and QUORVANE_SERVICE_URL set to it for the
  // lifetime of the object.
  const std::string& BaseUrl() const { return FBaseUrl; }

  int status = 200;
  std::chrono::milliseconds delay{0};

  // Waits until at least `count` requests have arrived; false after `timeout`.
  bool WaitForRequests(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20));
  std::vector<TReceivedRequest> Requests();

 private:
  std::unique_ptr<httplib::Server> FServer;
  std::thread FThread;
  std::string FBaseUrl;
  std::mutex FLock;
  std::condition_variable FArrived;
  std::vector<TReceivedRequest> FRequests;
};

// HMAC-SHA1 of an ASCII text under an ASCII key, in upper-case hex, by the openssl command.
std::string OpensslHmacSha1(const std::string& text, const std::string& key);

// The text that the service's signature covers, built by hand from the member values as
// the service sees them in the body: each value quoted, joined, reversed, the last
// character dropped; characters outside ASCII as '?'.
std::string SignedTextOf(const std::vector<std::string>& plain_values);

}  // namespace quorvane::testing
