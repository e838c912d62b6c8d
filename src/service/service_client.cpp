// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "service/service_client.h"

#include <httplib.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "common/session_state.h"
#include "jobs/jobs.h"

namespace quorvane {

std::vector<std::uint32_t> UsedPorts;

namespace {

const char* const kSignatureKey = "PmtW";
constexpr int kFirstPort = 1792;
constexpr int kLastPort = 4000;

std::mutex g_timeouts_lock;
TServiceTimeouts g_timeouts;

// One byte per UTF-16 code unit: ASCII as it is, everything else as '?'.
std::string SigningBytes(const std::string& text) {
  std::string bytes;
  for (char16_t unit : Utf8ToUtf16(text))
    bytes.push_back(unit <= 0x7F ? static_cast<char>(unit) : '?');
  return bytes;
}

// Posts a ready body to `base` + `path`; true when the service answered with a status
// below 400.
bool PostBody(const std::string& body, const std::string& base, const std::string& path,
              const TServiceTimeouts& limits) {
  try {
    const std::size_t scheme_end = base.find("://");
    if (base.empty() || scheme_end == std::string::npos) return false;
    const std::size_t path_start = base.find('/', scheme_end + 3);
    const std::string origin = base.substr(0, path_start);
    const std::string prefix = path_start == std::string::npos ? "/" : base.substr(path_start);
    httplib::Client client(origin);
    if (!client.is_valid()) return false;
    client.set_connection_timeout(limits.Connect);
    client.set_read_timeout(limits.Reply);
    client.set_write_timeout(limits.Reply);
    httplib::Result result =
        client.Post(prefix + path, body, "application/json; charset=utf-8");
    return result && result->status < 400;
  } catch (...) {
    return false;
  }
}

const char* Flag(bool value) { return value ? "-1" : "0"; }

}  // namespace

std::string CommunityCode(TCommunity kind) {
  switch (kind) {
    case TCommunity::CommBugReport: return "0";
    case TCommunity::CommGratitude: return "2";
    case TCommunity::CommSuggestion: return "1";
    case TCommunity::CommOther: return "3";
    case TCommunity::CommNone: break;
  }
  return "";
}

std::vector<std::uint32_t> ParseTcpTableLocalPorts(const std::string& table) {
  std::vector<std::uint32_t> ports;
  std::istringstream lines(table);
  std::string line;
  bool header = true;
  while (std::getline(lines, line)) {
    if (header) {
      header = false;
      if (line.find("local_address") == std::string::npos)
        throw std::runtime_error("unexpected connection table header");
      continue;
    }
    std::istringstream fields(line);
    std::string slot, local;
    if (!(fields >> slot)) continue;  // a blank line
    if (slot.empty() || slot.back() != ':' || !(fields >> local))
      throw std::runtime_error("unreadable connection table row: " + line);
    const std::size_t colon = local.find(':');
    const std::string port = colon == std::string::npos ? "" : local.substr(colon + 1);
    if (port.empty() || port.size() > 4 ||
        port.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
      throw std::runtime_error("unreadable local address: " + local);
    ports.push_back(static_cast<std::uint32_t>(std::stoul(port, nullptr, 16)));
  }
  if (header) throw std::runtime_error("empty connection table");
  return ports;
}

bool ReadSystemTcpTable(std::string& table) {
  std::ifstream in("/proc/net/tcp");
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw std::runtime_error("cannot read the connection table");
  table = text.str();
  return true;
}

int FindFreePort(int Default, const TTcpTableReader& read_table) {
  try {
    std::string table;
    if (read_table(table)) {
      const std::vector<std::uint32_t> ports = ParseTcpTableLocalPorts(table);
      UsedPorts.insert(UsedPorts.end(), ports.begin(), ports.end());
    }
  } catch (...) {
    return Default;
  }
  for (int port = kFirstPort; port <= kLastPort; ++port) {
    if (std::find(UsedPorts.begin(), UsedPorts.end(), static_cast<std::uint32_t>(port)) ==
        UsedPorts.end())
      return port;
  }
  return Default;
}

std::string ServiceBaseUrl() {
  const char* url = std::getenv("QUORVANE_SERVICE_URL");
  return url ? url : "";
}

void SetServiceTimeouts(const TServiceTimeouts& timeouts) {
  std::lock_guard<std::mutex> guard(g_timeouts_lock);
  g_timeouts = timeouts;
}

TServiceTimeouts ServiceTimeouts() {
  std::lock_guard<std::mutex> guard(g_timeouts_lock);
  return g_timeouts;
}

std::string HMACSHA1Hex(const std::string& Text, const std::string& Key) {
  const std::string key = SigningBytes(Key);
  const std::string data = SigningBytes(Text);
  unsigned char digest[EVP_MAX_MD_SIZE];
  std::size_t length = 0;
  if (!EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA1", nullptr, key.data(), key.size(),
                 reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest,
                 sizeof digest, &length))
    return "";
  static const char* const kHex = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0xF]);
  }
  return hex;
}

std::string ComputeSignature(const TJsonValue& Msg) {
  std::string values;
  for (const auto& member : Msg.Members()) values += member.second.ToPlainJson();
  std::string reversed = SigningBytes(values);
  std::reverse(reversed.begin(), reversed.end());
  if (reversed.size() < 2) return "";
  reversed.pop_back();
  return HMACSHA1Hex(reversed, kSignatureKey);
}

void AddSignature(TJsonValue& Msg) { Msg.AddData("RSA", ComputeSignature(Msg)); }

namespace {

// The body of a request: the object with "id" and "RSA" added, in its plain form.
std::string SignedBody(TJsonValue& Msg) {
  Msg.AddData("id", GetSessionId());
  AddSignature(Msg);
  return Msg.ToPlainJson();
}

}  // namespace

bool PostToService(TJsonValue* Msg, const std::string& Path) {
  if (!Msg) return true;
  try {
    const std::string body = SignedBody(*Msg);
    return PostBody(body, ServiceBaseUrl(), Path, ServiceTimeouts());
  } catch (...) {
    return false;
  }
}

bool PostPort(int Port) {
  try {
    TJsonValue msg;
    msg.AddData("port", std::to_string(Port));
    return PostToService(&msg, "utils/setPort");
  } catch (...) {
    return false;
  }
}

bool SendErrorLog(const std::string& Text) {
  TJsonValue msg;
  msg.AddData("type", "error").AddData("msg", Text);
  return PostToService(&msg, "log");
}

void SendJobsLog(TJobs* Jobs) {
  try {
    TJsonValue msg;
    if (!Jobs || Jobs->Count() == 0) {
      msg.AddData("type", "warning").AddData("msg", "Process finished with no jobs...");
      PostToService(&msg, "log");
      return;
    }
    TJsonValue list = TJsonValue::Array();
    for (int i = 0; i < Jobs->Count(); ++i) {
      const TJob* job = Jobs->GetJobById(i);
      if (!job) continue;
      TJsonValue item;
      item.AddData("Number", std::to_string(i))
          .AddData("Name", job->Name())
          .AddData("Type", std::to_string(job->LType()))
          .AddData("SFile", job->SFile())
          .AddData("Status", job->Status())
          .AddData("Error", job->Error())
          .AddData("Progress", std::to_string(job->Progress()))
          .AddData("Cancelled", Flag(job->Canceled()))
          .AddData("Active", Flag(job->Active()))
          .AddData("Running", Flag(job->Running()))
          .AddData("Drive", job->Drive() ? std::string(1, job->Drive()) : std::string())
          .AddData("NeedSpace", std::to_string(job->NeedSpace()));
      list.Append(std::move(item));
    }
    msg.AddData("type", "log").AddValue("msg", std::move(list));
    PostToService(&msg, "log");
  } catch (...) {
  }
}

void SendFeedback(const std::string& Subject, const std::string& Email, const std::string& Nick,
                  TCommunity Kind, const std::string& Text) {
  const std::string code = CommunityCode(Kind);
  if (code.empty() || Text.empty() || Subject.empty() || Subject == "Subject") return;
  for (TCommunity kind : {TCommunity::CommBugReport, TCommunity::CommGratitude,
                          TCommunity::CommSuggestion, TCommunity::CommOther})
    if (Text == KindPlaceholder(kind)) return;
  TJsonValue msg;
  msg.AddData("type", code)
      .AddData("email", Email)
      .AddData("nick", Nick)
      .AddData("feedback", Text)
      .AddData("subject", Subject);
  PostToService(&msg, "utils/feedback");
}

void ForwardMessage(TJsonValue Msg, const std::string& ForwardingURL) {
  try {
    // Everything the thread needs is made here and owned by it, so that a relay still
    // under way when the program ends touches no shared state.
    std::thread([body = SignedBody(Msg), base = ServiceBaseUrl(), path = ForwardingURL,
                 limits = ServiceTimeouts()] { PostBody(body, base, path, limits); })
        .detach();
  } catch (...) {
  }
}

}  // namespace quorvane
