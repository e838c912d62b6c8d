// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/guid.h"

#include <uuid/uuid.h>

namespace quorvane {

std::string NewGuidRegistryForm() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return std::string("{") + text + "}";
}

}  // namespace quorvane
