// Fresh GUIDs in the registry form "{8-4-4-4-12}" with upper-case hexadecimal digits.
#pragma once

#include <string>

namespace quorvane {

std::string NewGuidRegistryForm();

}  // namespace quorvane
