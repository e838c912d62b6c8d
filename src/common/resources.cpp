// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/resources.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/text.h"

namespace quorvane {

namespace {

std::string ExecutableDir() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return WithTrailingSlash(exe.parent_path().string());
}

}  // namespace

std::string ResourceDir() {
  if (const char* env = std::getenv("QUORVANE_RESOURCES"); env && *env) return WithTrailingSlash(env);
  return ExecutableDir() + "resources/";
}

std::string ResourcePath(const std::string& name) { return ResourceDir() + name; }

bool ReadResource(const std::string& name, std::string& data, std::string& error) {
  const std::string path = ResourcePath(name);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "Resource " + Quoted(path) + " cannot be read: " + SystemErrorText(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    error = "Resource " + Quoted(path) + " cannot be read";
    return false;
  }
  data = buffer.str();
  error.clear();
  return true;
}

}  // namespace quorvane
