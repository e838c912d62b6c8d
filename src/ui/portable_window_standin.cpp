// Stand-in until the main window exists: says so and ends; the fallback question is asked
// on the terminal.
#include <cstdio>

#include "startup/front_ends.h"
#include "startup/terminal_dialog.h"

namespace quorvane {

namespace {

class TNoWindow : public IPortableWindow {
 public:
  void RunUntilClosed() override {
    std::fputs("quorvane: the portable window is not available in this build\n", stderr);
  }
  TJobs* Jobs() override { return nullptr; }
};

}  // namespace

std::unique_ptr<IPortableWindow> CreatePortableWindow(int, char**) {
  return std::make_unique<TNoWindow>();
}

std::unique_ptr<IFallbackDialog> CreateFallbackDialog(int, char**) {
  return std::make_unique<TTerminalDialog>();
}

}  // namespace quorvane
