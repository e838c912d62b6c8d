// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/control_server.h"

#include <httplib.h>

#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "archive/file_operations.h"
#include "common/desktop_user.h"
#include "common/text.h"
#include "server/page_opener.h"
#include "server/tcp_table.h"

namespace quorvane {

namespace {

std::string NewToken() {
  unsigned char bytes[32];
  if (RAND_bytes(bytes, sizeof bytes) != 1)
    throw std::runtime_error("Cannot make the control server's secret: no random bytes");
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token.push_back(kHex[b >> 4]);
    token.push_back(kHex[b & 15]);
  }
  return token;
}

bool IsFormBody(const httplib::Request& request) {
  if (!request.has_header("Content-Type")) return true;
  const std::string type = LowerAscii(request.get_header_value("Content-Type"));
  return type.rfind("application/x-www-form-urlencoded", 0) == 0;
}

}  // namespace

TControlServer::TControlServer(TControlModuleSetup setup, TServerLimits limits)
    : FSetup(std::move(setup)), FLimits(std::move(limits)), FToken(NewToken()) {
  FClientUids = FSetup.ClientUids.empty() ? DefaultClientUids() : FSetup.ClientUids;
}

bool TControlServer::Admit(int socket) const {
  const std::optional<uid_t> uid = PeerUid(socket);
  return uid && std::find(FClientUids.begin(), FClientUids.end(), *uid) != FClientUids.end();
}

TControlServer::~TControlServer() {
  Deactivate();
  FModule.reset();
  FPageFile.reset();
}

void TControlServer::SetDefaultPort(int port) { FPort = port; }

void TControlServer::Activate() {
  if (FServer) return;
  auto server = std::make_unique<TGuardedHttpServer>(
      FLimits, [this](int socket) { return Admit(socket); }, FToken);
  // Address reuse only: with the library's default port sharing, another program of the
  // user listening on the same port would be handed some of our connections, or we theirs.
  server->set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    Handle(request, response, request.body);
  };
  // Bodies are read here, not by the library: it would refuse a form body over 8 KiB (a
  // burn of a few dozen entries) with 413, and takes no limit of ours on what it reads.
  auto with_body = [this](const httplib::Request& request, httplib::Response& response,
                          const httplib::ContentReader& content) {
    std::string body;
    bool too_large = false;
    content([&](const char* data, std::size_t size) {
      if (body.size() + size > FLimits.MaxBody) return !(too_large = true);
      body.append(data, size);
      return true;
    });
    if (too_large) {
      response.status = 413;
      response.set_header("Connection", "close");
      return;
    }
    Handle(request, response, body);
  };
  server->Get(".*", handler);
  server->Post(".*", with_body);
  server->Put(".*", with_body);
  server->Patch(".*", with_body);
  server->Delete(".*", with_body);
  server->Options(".*", handler);
  server->set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        response.status = 500;
        response.body.clear();
      });
  errno = 0;
  if (!server->BindLoopback(FPort)) {
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

void TControlServer::OpenPage() {
  const std::string url = "http://127.0.0.1:" + std::to_string(FPort) + "/?" + kTokenQuery + "=" + FToken;
  const std::optional<TDesktopUser> user = DesktopUser();
  try {
    FPageFile = std::make_unique<TPageOpenerFile>();
    FPageFile->Write(PageOpenerText(url), user ? user->Uid : ::geteuid(), user ? user->Gid : ::getegid(),
                     DesktopRuntimeDir());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvane: %s\n", error.what());
    FPageFile.reset();
    return;
  }
  std::fprintf(stderr, "quorvane: the page opens from %s\n", FPageFile->Path().c_str());
  if (FSetup.OpenBrowser)
    FSetup.OpenBrowser(FPageFile->Path());
  else
    ShellOpen(FPageFile->Path());
}

void TControlServer::Handle(const httplib::Request& request, httplib::Response& response,
                            const std::string& body) {
  // Another web page open in the browser, or a name that merely resolves to this
  // computer, gets nothing: no command runs and no module is made for it.
  if (!Acceptable(request)) {
    response.status = 403;
    return;
  }
  // A chunked body is bounded by the gate only in its framing; its fields are counted
  // here before they are decoded.
  if (body.size() > FLimits.MaxBody ||
      (IsFormBody(request) && TFormFields::CountFields(body) > FLimits.MaxFields)) {
    response.status = 413;
    response.set_header("Connection", "close");
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
  if (IsFormBody(request)) web_request.Fields = TFormFields::Parse(body);
  const TWebReply reply = module->HandleRequest(web_request);
  response.status = 200;
  for (const auto& [name, value] : reply.Headers) response.set_header(name, value);
  // The page's first address carries the secret: from then on the browser sends it as a
  // cookie that no other site and no script can read.
  if (request.method == "GET" && SameSecret(request.get_param_value(kTokenQuery), FToken))
    response.set_header("Set-Cookie", std::string(kTokenCookie) + "=" + FToken +
                                          "; Path=/; HttpOnly; SameSite=Strict");
  if (reply.Body.empty()) {
    response.set_header("Content-Type", "text/html");
    return;
  }
  // A sized content provider: the body goes out exactly as made, never compressed (a
  // compressed page would carry two Content-Encoding headers).
  auto out = std::make_shared<const std::string>(reply.Body);
  response.set_content_provider(
      out->size(), "text/html",
      [out](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        return sink.write(out->data() + offset, length);
      });
}

std::unique_ptr<IControlServer> CreateControlServer(const std::string& ExistLoaders) {
  TControlModuleSetup setup;
  setup.ExistLoaders = ExistLoaders;
  return std::make_unique<TControlServer>(std::move(setup));
}

}  // namespace quorvane
