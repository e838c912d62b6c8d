// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "fake_service.h"

#include <httplib.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "support/temp_dir.h"

namespace quorvane::testing {

TFakeService::TFakeService() : FServer(std::make_unique<httplib::Server>()) {
  FServer->Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      FRequests.push_back({request.path, request.get_header_value("Content-Type"), request.body});
    }
    FArrived.notify_all();
    std::this_thread::sleep_for(delay);
    response.status = status;
    response.set_content("{\"ok\":true}", "application/json");
  });
  const int port = FServer->bind_to_any_port("127.0.0.1");
  FBaseUrl = "http://127.0.0.1:" + std::to_string(port) + "/api/";
  FThread = std::thread([this] { FServer->listen_after_bind(); });
  // stop() does nothing until the server runs.
  while (!FServer->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  setenv("QUORVANE_SERVICE_URL", FBaseUrl.c_str(), 1);
}

TFakeService::~TFakeService() {
  unsetenv("QUORVANE_SERVICE_URL");
  FServer->stop();
  FThread.join();
}

bool TFakeService::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> guard(FLock);
  return FArrived.wait_for(guard, timeout, [&] { return FRequests.size() >= count; });
}

std::vector<TReceivedRequest> TFakeService::Requests() {
  std::lock_guard<std::mutex> guard(FLock);
  return FRequests;
}

std::string OpensslHmacSha1(const std::string& text, const std::string& key) {
  TTempDir dir;
  const std::string input = dir / "text";
  WriteFile(input, text);
  const std::string command =
      "/usr/bin/openssl dgst -sha1 -hmac '" + key + "' -r '" + input + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  char buffer[256] = {};
  std::string output;
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  pclose(pipe);
  std::string hex = output.substr(0, output.find(' '));
  std::transform(hex.begin(), hex.end(), hex.begin(), ::toupper);
  return hex;
}

std::string SignedTextOf(const std::vector<std::string>& plain_values) {
  std::string joined;
  for (const std::string& value : plain_values) joined += value;
  std::string ascii;
  for (std::size_t i = 0; i < joined.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(joined[i]);
    if (c < 0x80) {
      ascii.push_back(static_cast<char>(c));
    } else if (c >= 0xF0) {  // four bytes: two UTF-16 units
      ascii += "??";
      i += 3;
    } else if (c >= 0xE0) {
      ascii.push_back('?');
      i += 2;
    } else {
      ascii.push_back('?');
      i += 1;
    }
  }
  std::reverse(ascii.begin(), ascii.end());
  if (!ascii.empty()) ascii.pop_back();
  return ascii;
}

}  // namespace quorvane::testing
