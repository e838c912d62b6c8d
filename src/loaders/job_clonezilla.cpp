#include "loaders/loader_classes.h"

namespace quorvane {

void TJobClonezilla::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  // Loaded into memory at boot, so the file may lie anywhere on the drive.
  if (!CopyImage(false)) return;
  const std::string& n = Vars.JobFileNameWOExt;
  const std::string block = Lines({
      "title " + n,
      "map --mem " + Vars.JobFileNameOnHDForwardSlash + " (0xff)",
      "map --hook",
      "root (0xff)",
      "chainloader (0xff)",
  });
  if (!WriteEntryFile(n + ".lst", block)) return;
  AppendMainMenuItem(n + ".lst");
}

}  // namespace quorvane
