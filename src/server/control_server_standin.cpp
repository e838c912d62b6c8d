// Stand-in until the HTTP control server exists: it starts, but no request ever arrives.
#include "startup/front_ends.h"

namespace quorvane {

namespace {

class TIdleControlServer : public IControlServer {
 public:
  void SetDefaultPort(int) override {}
  void Activate() override {}
  void Deactivate() override {}
  TJobs* Jobs() override { return nullptr; }
};

}  // namespace

std::unique_ptr<IControlServer> CreateControlServer() {
  return std::make_unique<TIdleControlServer>();
}

}  // namespace quorvane
