// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The start-up's view of the service client.
#include "service/service_client.h"
#include "startup/front_ends.h"

namespace quorvane {

namespace {

class TServiceClient : public IServiceClient {
 public:
  int FindFreePort(int default_port) override { return quorvane::FindFreePort(default_port); }
  bool PostPort(int port) override { return quorvane::PostPort(port); }
  void SendErrorLog(const std::string& text) override { quorvane::SendErrorLog(text); }
  void SendJobsLog(TJobs* jobs) override { quorvane::SendJobsLog(jobs); }
};

}  // namespace

std::unique_ptr<IServiceClient> CreateServiceClient() {
  return std::make_unique<TServiceClient>();
}

}  // namespace quorvane
