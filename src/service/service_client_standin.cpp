// Stand-in until the remote service client exists: nothing is sent, and every request
// reports failure.
#include "startup/front_ends.h"

namespace quorvane {

namespace {

class TOfflineServiceClient : public IServiceClient {
 public:
  int FindFreePort(int default_port) override { return default_port; }
  bool PostPort(int) override { return false; }
  void SendErrorLog(const std::string&) override {}
  void SendJobsLog(TJobs*) override {}
};

}  // namespace

std::unique_ptr<IServiceClient> CreateServiceClient() {
  return std::make_unique<TOfflineServiceClient>();
}

}  // namespace quorvane
