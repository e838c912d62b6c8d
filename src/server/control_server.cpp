// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/control_server.h"

#include <httplib.h>

#include <cerrno>
#include <list>
#include <sstream>
#include <stdexcept>

#include "common/text.h"

namespace quorvane {

namespace {

// httplib's task queue, one thread per connection instead of a fixed pool: a request that
// waits (a file dialog holds the request lock) must not starve the connections behind it.
class TThreadPerConnection : public httplib::TaskQueue {
 public:
  ~TThreadPerConnection() override { shutdown(); }

  void enqueue(std::function<void()> fn) override {
    std::lock_guard<std::mutex> guard(FLock);
    JoinFinished();
    auto done = std::make_shared<std::atomic<bool>>(false);
    FThreads.push_back({std::thread([fn = std::move(fn), done] {
                          try {
                            fn();
                          } catch (...) {
                          }
                          *done = true;
                        }),
                        done});
  }

  void shutdown() override {
    std::list<TEntry> threads;
    {
      std::lock_guard<std::mutex> guard(FLock);
      threads.swap(FThreads);
    }
    for (TEntry& entry : threads)
      if (entry.thread.joinable()) entry.thread.join();
  }

 private:
  struct TEntry {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void JoinFinished() {
    for (auto it = FThreads.begin(); it != FThreads.end();) {
      if (*it->done) {
        it->thread.join();
        it = FThreads.erase(it);
      } else {
        ++it;
      }
    }
  }

  std::mutex FLock;
  std::list<TEntry> FThreads;
};

bool IsFormBody(const httplib::Request& request) {
  if (!request.has_header("Content-Type")) return true;
  const std::string type = LowerAscii(request.get_header_value("Content-Type"));
  return type.rfind("application/x-www-form-urlencoded", 0) == 0;
}

}  // namespace

TControlServer::TControlServer(TControlModuleSetup setup) : FSetup(std::move(setup)) {}

TControlServer::~TControlServer() {
  Deactivate();
  FModule.reset();
}

void TControlServer::SetDefaultPort(int port) { FPort = port; }

void TControlServer::Activate() {
  if (FServer) return;
  auto server = std::make_unique<httplib::Server>();
  server->new_task_queue = [] { return new TThreadPerConnection(); };
  server->set_keep_alive_timeout(2);
  // Address reuse only: with the library's default port sharing, another program of the
  // user listening on the same port would be handed some of our connections, or we theirs.
  server->set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server->set_payload_max_length(16 * 1024 * 1024);
  auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    Handle(request, response);
  };
  server->Get(".*", handler);
  server->Post(".*", handler);
  server->Put(".*", handler);
  server->Patch(".*", handler);
  server->Delete(".*", handler);
  server->Options(".*", handler);
  server->set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        response.status = 500;
        response.body.clear();
      });
  errno = 0;
  if (!server->bind_to_port("127.0.0.1", FPort)) {
    const int code = errno;
    std::string reason = "Could not bind socket to 127.0.0.1:" + std::to_string(FPort);
    if (code != 0) reason += ": " + SystemErrorText(code);
    throw std::runtime_error(reason);
  }
  FServer = std::move(server);
  auto ended = std::make_shared<std::atomic<bool>>(false);
  FListener = std::thread([server = FServer.get(), ended] {
    server->listen_after_bind();
    *ended = true;
  });
  // The server takes a stop request only once it runs.
  while (!FServer->is_running() && !*ended)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TControlServer::Deactivate() {
  if (!FServer) return;
  FServer->stop();
  if (FListener.joinable()) FListener.join();
  FServer.reset();
}

TWebModule1* TControlServer::Module() {
  std::lock_guard<std::mutex> guard(FModuleLock);
  return FModule.get();
}

TJobs* TControlServer::Jobs() {
  std::lock_guard<std::mutex> guard(FModuleLock);
  return FModule ? FModule->Jobs() : nullptr;
}

bool TControlServer::Acceptable(const httplib::Request& request) const {
  const std::string port = std::to_string(FPort);
  const std::string host = LowerAscii(request.get_header_value("Host"));
  if (host != "127.0.0.1:" + port && host != "localhost:" + port) return false;
  const std::size_t origins = request.get_header_value_count("Origin");
  for (std::size_t i = 0; i < origins; ++i) {
    const std::string origin = LowerAscii(request.get_header_value("Origin", i));
    if (origin != "http://127.0.0.1:" + port && origin != "http://localhost:" + port)
      return false;
  }
  return true;
}

void TControlServer::Handle(const httplib::Request& request, httplib::Response& response) {
  // Another web page open in the browser, or a name that merely resolves to this
  // computer, gets nothing: no command runs and no module is made for it.
  if (!Acceptable(request)) {
    response.status = 403;
    return;
  }
  TWebModule1* module = nullptr;
  {
    std::lock_guard<std::mutex> guard(FModuleLock);
    if (!FModule) FModule = std::make_unique<TWebModule1>(FSetup);
    module = FModule.get();
  }
  TWebRequest web_request;
  web_request.Method = request.method;
  web_request.Path = request.path;
  if (IsFormBody(request)) web_request.Fields = TFormFields::Parse(request.body);
  const TWebReply reply = module->HandleRequest(web_request);
  response.status = 200;
  for (const auto& [name, value] : reply.Headers) response.set_header(name, value);
  if (reply.Body.empty()) {
    response.set_header("Content-Type", "text/html");
    return;
  }
  // A sized content provider: the body goes out exactly as made, never compressed (a
  // compressed page would carry two Content-Encoding headers).
  auto body = std::make_shared<const std::string>(reply.Body);
  response.set_content_provider(
      body->size(), "text/html",
      [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        return sink.write(body->data() + offset, length);
      });
}

std::unique_ptr<IControlServer> CreateControlServer(const std::string& ExistLoaders) {
  TControlModuleSetup setup;
  setup.ExistLoaders = ExistLoaders;
  return std::make_unique<TControlServer>(std::move(setup));
}

}  // namespace quorvane
