// Stand-in until the NTBOOT package is assembled: nothing is deployed.
#include "loaders/ntboot_works.h"

namespace quorvane {

void DeployNTBOOT(char, std::string& Error) { Error.clear(); }

}  // namespace quorvane
