#include "fixtures.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quorvane::testing {

namespace fs = std::filesystem;

int RunTool(const std::vector<std::string>& argv, std::string& output) {
  output.clear();
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  std::vector<std::string> args = argv;
  std::vector<char*> arg_pointers;
  for (std::string& a : args) arg_pointers.push_back(a.data());
  arg_pointers.push_back(nullptr);
  std::string locale = "LC_ALL=C", path = "PATH=/usr/bin:/bin";
  char* envp[] = {locale.data(), path.data(), nullptr};
  pid_t pid = -1;
  const int started = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, arg_pointers.data(), envp);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (started != 0) {
    ::close(pipe_fds[0]);
    output = "cannot start " + args[0];
    return -1;
  }
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, n);
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

std::string CommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& a : argv) line += (line.empty() ? "" : " ") + a;
  return line;
}

void RunOrFail(const std::vector<std::string>& argv) {
  std::string output;
  const int status = RunTool(argv, output);
  ASSERT_EQ(status, 0) << CommandLine(argv) << "\n" << output;
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
  std::vector<std::string> argv = {"/usr/bin/xorriso", "-as", "mkisofs", "-quiet", "-R",
                                   "-input-charset", "utf-8"};
  if (joliet) argv.push_back("-J");
  argv.insert(argv.end(), {"-V", "QUORVANE_TEST", "-o", image, tree});
  RunOrFail(argv);
}

void Make7z(const std::string& tree, const std::string& archive,
            const std::vector<std::string>& options) {
  std::vector<std::string> argv = {"/usr/bin/7z", "a", "-bd", "-y"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(archive);
  // "tree/." stores the folder's contents without the folder itself.
  argv.push_back((fs::path(tree) / ".").string());
  RunOrFail(argv);
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
