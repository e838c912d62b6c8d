// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The control server under load, in two processes so that the server's memory is its own:
//   quorvane_bench_server serve            prints "PORT n" and "TOKEN t", serves until killed
//   quorvane_bench_server load PORT TOKEN CLIENTS SECONDS
//                                          that many clients, each on its own keep-alive
//                                          connection, send "GetSessionId" one after another
//                                          and print requests, failures, req/s, p50 and p99
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/main_thread.h"
#include "common/message_queue.h"
#include "common/session_state.h"
#include "server/control_server.h"
#include "server/request_head.h"

namespace {

using namespace quorvane;
using TClock = std::chrono::steady_clock;

int Serve() {
  TMessageQueue queue;
  SetMainThreadDispatcher(&queue);
  SetSessionId("BENCH");
  TControlModuleSetup setup;
  setup.PrepareArchiveLibrary = [] { return std::string(); };
  TControlServer server(setup);
  int port = 0;
  for (int candidate = 20000 + static_cast<int>(::getpid() % 20000);; ++candidate) {
    server.SetDefaultPort(candidate);
    try {
      server.Activate();
      port = candidate;
      break;
    } catch (const std::exception&) {
      if (candidate > 60000) return 1;
    }
  }
  std::printf("PORT %d\nTOKEN %s\n", port, server.Token().c_str());
  std::fflush(stdout);
  for (;;)
    if (queue.WaitForMessage(std::chrono::milliseconds(200))) queue.DispatchWaiting();
}

int Load(int port, const std::string& token, int clients, int seconds) {
  std::atomic<bool> stop{false};
  std::mutex lock;
  std::vector<double> latencies;  // milliseconds
  std::atomic<long> failures{0};
  std::vector<std::thread> threads;
  const TClock::time_point start = TClock::now();
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_read_timeout(10, 0);
      const httplib::Headers headers = {{kTokenHeader, token}};
      std::vector<double> mine;
      mine.reserve(1 << 16);
      while (!stop) {
        const TClock::time_point sent = TClock::now();
        auto result = client.Post("/", headers, "Operation=GetSessionId",
                                  "application/x-www-form-urlencoded");
        const double ms = std::chrono::duration<double, std::milli>(TClock::now() - sent).count();
        if (!result || result->status != 200 || result->body != R"({"SessionUID":"BENCH"})")
          ++failures;
        else
          mine.push_back(ms);
      }
      std::lock_guard<std::mutex> guard(lock);
      latencies.insert(latencies.end(), mine.begin(), mine.end());
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  stop = true;
  for (std::thread& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double share) {
    return latencies.empty() ? 0.0 : latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(share * latencies.size()))];
  };
  std::printf("clients %d, %d s: %zu requests, %ld failed, %.0f req/s, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
              clients, seconds, latencies.size(), failures.load(), latencies.size() / elapsed, at(0.50),
              at(0.99), latencies.empty() ? 0.0 : latencies.back());
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "serve") return Serve();
  if (argc == 6 && std::string(argv[1]) == "load")
    return Load(std::atoi(argv[2]), argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
  std::fprintf(stderr, "usage: quorvane_bench_server serve | load PORT TOKEN CLIENTS SECONDS\n");
  return 2;
}
