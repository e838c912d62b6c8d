// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server_fixture.h"

#include <httplib.h>

#include <unistd.h>

#include <random>

#include "common/session_state.h"
#include "server/request_head.h"
#include "jobs/jobs.h"
#include "service/service_client.h"

namespace quorvane::testing {

namespace {

// A reader of the server's own replies: objects, arrays and strings with its escapes.
class TReplyReader {
 public:
  explicit TReplyReader(const std::string& text) : FText(text) {}

  std::vector<TPageMessage> Messages() {
    std::vector<TPageMessage> out;
    Expect('{');
    if (Peek() == '}') return out;
    if (String() != "NewMessages") throw std::runtime_error("unexpected member");
    Expect(':');
    Expect('[');
    while (true) {
      out.push_back(Object());
      if (Peek() == ',') {
        ++FPos;
        continue;
      }
      Expect(']');
      break;
    }
    return out;
  }

 private:
  char Peek() const { return FPos < FText.size() ? FText[FPos] : '\0'; }
  void Expect(char c) {
    if (Peek() != c) throw std::runtime_error(std::string("expected ") + c + " in " + FText);
    ++FPos;
  }
  TPageMessage Object() {
    TPageMessage msg;
    Expect('{');
    if (Peek() == '}') return ++FPos, msg;
    while (true) {
      std::string key = String();
      Expect(':');
      msg[key] = String();
      if (Peek() == ',') {
        ++FPos;
        continue;
      }
      Expect('}');
      return msg;
    }
  }
  std::string String() {
    Expect('"');
    std::string out;
    while (Peek() != '"') {
      char c = FText.at(FPos++);
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      c = FText.at(FPos++);
      switch (c) {
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          const unsigned code = std::stoul(FText.substr(FPos, 4), nullptr, 16);
          FPos += 4;
          out.push_back(code < 0x80 ? static_cast<char>(code) : '?');
          break;
        }
        default: out.push_back(c);
      }
    }
    ++FPos;
    return out;
  }

  const std::string& FText;
  std::size_t FPos = 0;
};

}  // namespace

std::vector<TPageMessage> ParseNewMessages(const std::string& body) {
  return TReplyReader(body).Messages();
}

std::string Summary(const TPageMessage& msg) {
  auto get = [&](const char* key) {
    auto it = msg.find(key);
    return it == msg.end() ? std::string() : it->second;
  };
  return get("MsgType") + "|" + get("MsgTextFst") + "|" + get("MsgTextScnd") + "|" +
         get("MsgTextThrd") + "|" + get("MsgTextFrth");
}

std::vector<std::string> Summaries(const std::vector<TPageMessage>& messages) {
  std::vector<std::string> out;
  for (const TPageMessage& msg : messages) out.push_back(Summary(msg));
  return out;
}

std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += "&";
    out += httplib::detail::encode_query_param(name) + "=" +
           httplib::detail::encode_query_param(value);
  }
  return out;
}

ControlServerTest::ControlServerTest() {
  QuitRequested = false;
  ClientConnected = false;
  SetSessionId("");
  page_dir = temp / "app/";
  WriteFile(page_dir + "index.html", "<!doctype html>\r\n<p>line two</p>\nlast");
  setup.AppStartPath = page_dir;
  setup.ExistLoaders = "opaque {text}/1";
  setup.PrepareArchiveLibrary = [] { return std::string(); };
  // The drive step is a stand-in: only the plan is checked before a burn.
  setup.Preflight = RunPlanPreflight;
  // The test program's own user (root) is the one at the desktop.
  setup.ClientUids = {::geteuid()};
  setup.CreateJobs = [this] {
    return std::make_unique<TJobs>(StandInLoaderFactory(&made), RecordingPreparation(preparation));
  };
}

ControlServerTest::~ControlServerTest() {
  if (server) {
    // A job still held would keep the list's destructor waiting.
    preparation->hold = false;
    for (TStandInLoader* job : made) job->hold = false, job->hold_after_menu = false;
    server->Deactivate();
    server.reset();
  }
  QuitRequested = false;
  ClientConnected = false;
}

void ControlServerTest::StartServer() {
  // Test programs run side by side and may find the same free port: try others then.
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0;; ++attempt) {
    port = attempt == 0 ? FindFreePort(8080) : 20000 + static_cast<int>(random() % 30000);
    server = std::make_unique<TControlServer>(setup, limits);
    server->SetDefaultPort(port);
    try {
      server->Activate();
      return;
    } catch (const std::exception&) {
      if (attempt == 50) throw;
    }
  }
}

THttpReply ControlServerTest::Request(const std::string& method, const std::string& path,
                                      const std::string& body,
                                      const std::multimap<std::string, std::string>& headers) {
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(false);
  client.set_read_timeout(std::chrono::seconds(60));
  httplib::Headers sent;
  for (const auto& header : headers)
    if (header.first != kTokenHeader || !header.second.empty()) sent.insert(header);
  // Requests carry the run's secret unless the test gives its own (empty: none).
  if (headers.count(kTokenHeader) == 0 && server) sent.emplace(kTokenHeader, server->Token());
  const std::string type = "application/x-www-form-urlencoded";
  httplib::Result result = method == "GET"   ? client.Get(path, sent)
                           : method == "PUT" ? client.Put(path, sent, body, type)
                                             : client.Post(path, sent, body, type);
  THttpReply reply;
  if (!result) return reply;
  reply.status = result->status;
  reply.body = result->body;
  for (const auto& header : result->headers) reply.headers.insert(header);
  return reply;
}

THttpReply ControlServerTest::Post(const std::string& body) {
  return Request("POST", "/", body, {{"Origin", "http://127.0.0.1:" + std::to_string(port)}});
}

THttpReply ControlServerTest::Command(
    const std::vector<std::pair<std::string, std::string>>& fields) {
  return Post(FormEncode(fields));
}

bool ControlServerTest::CollectUntil(const std::string& prefix, std::vector<TPageMessage>& into) {
  bool seen = false;
  return PumpUntil([&] {
    if (seen) return true;
    for (const TPageMessage& msg : ParseNewMessages(Command({{"Operation", "CheckMessages"}}).body)) {
      into.push_back(msg);
      if (Summary(msg).rfind(prefix, 0) == 0) seen = true;
    }
    return seen;
  });
}

}  // namespace quorvane::testing
