// quorvane: builds multi-boot USB drives, driven by its own window or by a browser page.
#include <string>
#include <vector>

#include "common/message_queue.h"
#include "startup/main_methods.h"

int main(int argc, char** argv) {
  using namespace quorvane;
  std::vector<std::string> args(argv, argv + argc);
  TMessageQueue queue;
  std::unique_ptr<IServiceClient> service = CreateServiceClient();
  std::unique_ptr<IFallbackDialog> dialog = CreateFallbackDialog(argc, argv);
  TStartupEnvironment env;
  env.CreateServer = [] { return CreateControlServer(); };
  env.CreateWindow = [argc, argv] { return CreatePortableWindow(argc, argv); };
  env.Service = service.get();
  env.Dialog = dialog.get();
  env.Queue = &queue;
  env.Now = LocalDateTimeNow;
  return RunProgram(args, env);
}
