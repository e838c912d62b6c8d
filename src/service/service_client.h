// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Requests to the remote service: the free-port search for the control server, and the
// signed JSON posts (port registration, logs, feedback, relayed messages).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "service/json_value.h"
#include "common/community.h"

namespace quorvane {

class TJobs;

// The code sent as "type" for a kind; empty for CommNone.
std::string CommunityCode(TCommunity kind);

// Ports found in use by FindFreePort; only ever appended to.
extern std::vector<std::uint32_t> UsedPorts;

// The local ports of every row of a /proc/net/tcp table (header line first). Throws
// std::runtime_error when a row cannot be read.
std::vector<std::uint32_t> ParseTcpTableLocalPorts(const std::string& table);

// Reads the IPv4 TCP connection table into `table`; false when the system refuses it.
using TTcpTableReader = std::function<bool(std::string& table)>;
// The table of this computer, from /proc/net/tcp.
bool ReadSystemTcpTable(std::string& table);

// A local TCP port in 1792..4000 that no IPv4 connection uses, or `Default` when none is
// free or the table cannot be read. A refused table counts as no port in use.
int FindFreePort(int Default, const TTcpTableReader& read_table = ReadSystemTcpTable);

// The service's base URL, ending in "/": QUORVANE_SERVICE_URL. Empty when not set; then
// nothing is sent and every request fails.
std::string ServiceBaseUrl();

// Time limits of one request to the service (tests shorten them).
struct TServiceTimeouts {
  std::chrono::milliseconds Connect{10000};
  std::chrono::milliseconds Reply{30000};
};
void SetServiceTimeouts(const TServiceTimeouts& timeouts);
TServiceTimeouts ServiceTimeouts();

// HMAC-SHA1 of `Text` under `Key`, both read one byte per character (anything outside
// ASCII as '?'), as 40 upper-case hexadecimal digits.
std::string HMACSHA1Hex(const std::string& Text, const std::string& Key);
// The signature of an object: the plain forms of its member values, joined, reversed, less
// the last character, signed with the key "PmtW". Empty when that text is too short.
std::string ComputeSignature(const TJsonValue& Msg);
// Adds "RSA" with the signature when there is one.
void AddSignature(TJsonValue& Msg);

// Adds "id" (the run identifier) and "RSA" to `Msg` and posts its plain form to the base
// URL followed by `Path`. True when the service answered with a status below 400; a null
// `Msg` sends nothing and answers true. Never throws.
bool PostToService(TJsonValue* Msg, const std::string& Path);

bool PostPort(int Port);
bool SendErrorLog(const std::string& Text);
// The job log of a list (a warning when it is null or empty); errors are ignored.
void SendJobsLog(TJobs* Jobs);
// Sends a feedback message when it is worth sending: a kind, a text and a subject other
// than "Subject", and a text that is not one of the feedback form's hint texts.
void SendFeedback(const std::string& Subject, const std::string& Email, const std::string& Nick,
                  TCommunity Kind, const std::string& Text);
// Posts `Msg` to `ForwardingURL` on a short-lived thread of its own and returns at once;
// its outcome is ignored.
void ForwardMessage(TJsonValue Msg, const std::string& ForwardingURL);

}  // namespace quorvane
