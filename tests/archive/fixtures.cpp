// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "fixtures.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/tool_runner.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

namespace fs = std::filesystem;

namespace {

void RunOrFail(const std::string& tool, const std::vector<std::string>& args) {
  const TToolResult result = SystemToolRunner()->Run({tool, args, ""});
  ASSERT_TRUE(result.Succeeded()) << result.ErrorText();
}

std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::string& out, std::uint64_t v) {
  Put32(out, static_cast<std::uint32_t>(v));
  Put32(out, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace

void MakeIso(const std::string& tree, const std::string& image, bool joliet) {
  // Names are UTF-8 whatever the tool's locale says.
  std::vector<std::string> args = {"-as", "mkisofs", "-quiet", "-R", "-input-charset", "utf-8"};
  if (joliet) args.push_back("-J");
  args.insert(args.end(), {"-V", "QUORVANE_TEST", "-o", image, tree});
  RunOrFail("xorriso", args);
}

void Make7z(const std::string& tree, const std::string& archive,
            const std::vector<std::string>& options) {
  std::vector<std::string> args = {"a", "-bd", "-y"};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(archive);
  // "tree/." stores the folder's contents without the folder itself.
  args.push_back((fs::path(tree) / ".").string());
  RunOrFail("7z", args);
}

TZipEntry LargeZipEntry(const std::string& name, std::uint64_t size) {
  TZipEntry entry;
  entry.Name = name;
  entry.DeclaredSize = size;
  entry.LargeDeclared = true;
  return entry;
}

TZipEntry ZipFolder(const std::string& name) {
  TZipEntry entry;
  entry.Name = name;
  entry.IsFolder = true;
  return entry;
}

std::vector<std::pair<std::string, std::function<void()>>> DrivePulls(
    const std::string& root, const std::shared_ptr<TFolderDriveLetters>& letters, char letter) {
  return {{"folder removed", [root] { fs::remove_all(root); }},
          {"letter unmapped", [letters, letter] { letters->Unmap(letter); }}};
}

void MakeZip(const std::string& path, const std::vector<TZipEntry>& entries) {
  std::string body, directory;
  for (const TZipEntry& entry : entries) {
    const std::uint32_t offset = static_cast<std::uint32_t>(body.size());
    // A deflate stream of one empty final block stands for the data of a large entry.
    const std::string data = entry.LargeDeclared ? std::string("\x03\x00", 2) : entry.Data;
    const std::uint32_t method = entry.LargeDeclared ? 8 : 0;
    const std::uint32_t crc = entry.LargeDeclared ? 0 : Crc32(data);
    std::string extra;
    if (entry.LargeDeclared) {
      Put16(extra, 0x0001);
      Put16(extra, 16);
      Put64(extra, entry.DeclaredSize);
      Put64(extra, data.size());
    }
    const std::uint32_t size32 = entry.LargeDeclared ? 0xFFFFFFFFu : static_cast<std::uint32_t>(data.size());
    const std::uint32_t version = entry.LargeDeclared ? 45 : 20;
    auto common = [&](std::string& out) {
      Put16(out, version);
      Put16(out, 0);        // flags
      Put16(out, method);
      Put16(out, 0);        // time
      Put16(out, 0x21);     // date: 1980-01-01
      Put32(out, crc);
      Put32(out, size32);   // compressed
      Put32(out, size32);   // uncompressed
      Put16(out, static_cast<std::uint32_t>(entry.Name.size()));
      Put16(out, static_cast<std::uint32_t>(extra.size()));
    };
    Put32(body, 0x04034b50);
    common(body);
    body += entry.Name + extra + data;

    Put32(directory, 0x02014b50);
    Put16(directory, (3u << 8) | 30u);  // made on Unix
    common(directory);
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    const std::uint32_t mode = entry.IsFolder ? 040755u : entry.UnixMode;
    Put32(directory, (mode << 16) | (entry.IsFolder ? 0x10u : 0u));
    Put32(directory, offset);
    directory += entry.Name + extra;
  }
  std::string end;
  Put32(end, 0x06054b50);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, static_cast<std::uint32_t>(entries.size()));
  Put16(end, static_cast<std::uint32_t>(entries.size()));
  Put32(end, static_cast<std::uint32_t>(directory.size()));
  Put32(end, static_cast<std::uint32_t>(body.size()));
  Put16(end, 0);
  WriteFile(path, body + directory + end);
}

void MakeSparseFile(const std::string& path, std::uint64_t size) {
  fs::create_directories(fs::path(path).parent_path());
  { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
  fs::resize_file(path, size);
}

void MakeTree(const std::string& root,
              const std::vector<std::pair<std::string, std::string>>& files) {
  fs::create_directories(root);
  for (const auto& [name, content] : files) {
    if (!name.empty() && name.back() == '/') {
      fs::create_directories(fs::path(root) / name);
    } else {
      WriteFile((fs::path(root) / name).string(), content);
    }
  }
}

std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string name = fs::relative(it->path(), root).generic_string();
    if (it->is_directory() && !it->is_symlink()) name += "/";
    found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace quorvane::testing
