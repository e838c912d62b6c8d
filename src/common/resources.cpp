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
  return ResourceDirBeside(ExecutableDir());
}

std::string ResourceDirBeside(const std::string& executable_dir) {
  const std::string exe = WithTrailingSlash(executable_dir);
  std::error_code ec;
  // A build tree has the folder beside the executable; an installed program, PREFIX/bin,
  // has PREFIX/share/quorvane.
  if (std::filesystem::is_directory(exe + "resources", ec)) return exe + "resources/";
  return WithTrailingSlash(
      std::filesystem::path(exe + "../share/quorvane").lexically_normal().string());
}

std::string BootImagesDir() { return "/var/lib/quorvane/"; }

std::string ResourcePath(const std::string& name) {
  const std::string in_resources = ResourceDir() + name;
  if (const char* env = std::getenv("QUORVANE_RESOURCES"); env && *env) return in_resources;
  std::error_code ec;
  if (std::filesystem::exists(in_resources, ec)) return in_resources;
  const std::string installed = BootImagesDir() + name;
  return std::filesystem::exists(installed, ec) ? installed : in_resources;
}

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
