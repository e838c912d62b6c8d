// Whether the drive under a target folder is still there. The drive is found through the
// folder's letter when the work starts; it is gone once that letter's drive no longer
// answers a free-space query. A folder of no letter counts as present while it exists.
#pragma once

#include <string>

namespace quorvane {

class TTargetDrive {
 public:
  explicit TTargetDrive(const std::string& folder);
  bool Lettered() const { return FLetter != 0; }
  bool Gone() const;

 private:
  std::string FFolder;
  char FLetter;
};

}  // namespace quorvane
