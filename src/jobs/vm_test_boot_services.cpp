// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/vm_test_boot_services.h"

#include "jobs/vm_test_boot.h"
#include "jobs/vm_tools.h"

#include <exception>
#include <utility>

namespace quorvane {

namespace {

// `call` with what it throws as its answer.
template <typename... Args>
std::function<std::string(Args...)> Answering(std::function<std::string(Args...)> call) {
  return [call = std::move(call)](Args... args) -> std::string {
    try {
      return call(args...);
    } catch (const std::exception& e) {
      return e.what();
    }
  };
}

}  // namespace

TVmTestBootServices WithDefaults(TVmTestBootServices services) {
  if (!services.MissingTools)
    services.MissingTools = [](bool uefi) {
      TVmTools tools;
      return FindVmTools(uefi, tools);
    };
  if (!services.Start) services.Start = StartVmTestBootWindow;
  services.MissingTools = Answering(std::move(services.MissingTools));
  services.Start = Answering(std::move(services.Start));
  return services;
}

bool IsVmTestDriveLetter(char letter) { return letter >= 'a' && letter <= 'z'; }

}  // namespace quorvane
