// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The real control server on loopback, with stand-in loaders and a recorded drive step on
// folder-backed drives; requests go over HTTP.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/control_server.h"
#include "support/main_thread_fixture.h"
#include "support/test_loaders.h"

namespace quorvane::testing {

struct THttpReply {
  int status = 0;  // 0: no reply
  std::string body;
  std::multimap<std::string, std::string> headers;
};

// One event message as the page reads it; absent members read as empty.
using TPageMessage = std::map<std::string, std::string>;

// Reads the "NewMessages" of a "CheckMessages" reply ({} gives none).
std::vector<TPageMessage> ParseNewMessages(const std::string& body);

// "Type|Fst|Scnd|Thrd|Frth" of a message, for comparing sequences.
std::string Summary(const TPageMessage& msg);
std::vector<std::string> Summaries(const std::vector<TPageMessage>& messages);

class ControlServerTest : public MainThreadTest {
 public:
  ControlServerTest();
  ~ControlServerTest() override;

  // Starts the server; tests that change the setup do so first.
  void StartServer();

  // A form post of `body` (already encoded) with the headers a page of this server sends.
  THttpReply Post(const std::string& body);
  // The run's secret goes as its header unless `headers` names that header (an empty
  // value: no secret at all).
  THttpReply Request(const std::string& method, const std::string& path, const std::string& body,
                     const std::multimap<std::string, std::string>& headers);
  // Fields given as name/value pairs, encoded here.
  THttpReply Command(const std::vector<std::pair<std::string, std::string>>& fields);

  // Pumps the main thread and collects event messages until one whose summary begins with
  // `prefix` arrived.
  bool CollectUntil(const std::string& prefix, std::vector<TPageMessage>& into);

  TControlModuleSetup setup;
  TServerLimits limits;
  std::unique_ptr<TControlServer> server;
  std::vector<TStandInLoader*> made;
  std::shared_ptr<TPreparationLog> preparation = std::make_shared<TPreparationLog>();
  std::string page_dir;
  int port = 0;
};

std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace quorvane::testing
