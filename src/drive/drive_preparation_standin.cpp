// Stand-in until the drive layer prepares real drives: the drive step always fails.
#include "jobs/drive_preparation.h"

namespace quorvane {

namespace {

class TUnavailablePreparation : public TDrivePreparation {
 public:
  ~TUnavailablePreparation() override { WaitFor(); }

 protected:
  void Execute() override { ErrorString = "Drive preparation is not available"; }
};

}  // namespace

std::unique_ptr<TDrivePreparation> CreateDrivePreparation(char, std::uint8_t, std::uint8_t) {
  return std::make_unique<TUnavailablePreparation>();
}

}  // namespace quorvane
