// Hiren's Boot CD, Parted Magic and Dr.Web LiveDisk share their entry.
#include "loaders/loader_classes.h"

namespace quorvane {

void TMappedCdJob::JobGo() {
  TJob::JobGo();
  if (Status() != kStatusRunning) return;
  if (!CopyImage(true)) return;
  const std::string& n = Vars.JobFileNameWOExt;
  const std::string& F = Vars.JobFileNameOnHDForwardSlash;
  const std::string block = Lines({
      "title " + n,
      "partnew (hd0,3) 0x00 " + F,
      "map " + F + " (0xff)",
      "map --hook",
      "root (0xff)",
      "chainloader (0xff)",
  });
  if (!WriteEntryFile(n + ".lst", block)) return;
  AppendMainMenuItem(n + ".lst");
}

}  // namespace quorvane
