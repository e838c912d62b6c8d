#include "server/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/text.h"

namespace quorvane {

namespace {

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"'\\|*") == std::string::npos) return arg;
  return "'" + ReplaceAll(arg, "'", "'\\''") + "'";
}

// Reads both pipes until they are closed.
void Drain(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open = 2;
  char buffer[4096];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

std::string FindExecutable(const std::string& name, const std::string& search_path) {
  namespace fs = std::filesystem;
  auto executable = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
  };
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) {
    std::error_code ec;
    const std::string path = fs::absolute(name, ec).string();
    return !ec && executable(path) ? path : "";
  }
  std::size_t start = 0;
  while (start <= search_path.size()) {
    std::size_t end = search_path.find(':', start);
    if (end == std::string::npos) end = search_path.size();
    const std::string folder = search_path.substr(start, end - start);
    if (!folder.empty() && folder.front() == '/') {
      const std::string path = folder + "/" + name;
      if (executable(path)) return path;
    }
    start = end + 1;
  }
  return "";
}

TProgramResult RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                                 const std::vector<std::string>& env) {
  TProgramResult result;
  result.CommandLine = QuoteArgument(program);
  for (const std::string& arg : args) result.CommandLine += " " + QuoteArgument(arg);
  if (program.empty() || program.front() != '/') {
    result.Error = "not an absolute program path: " + result.CommandLine;
    return result;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    result.Error = "pipe: " + SystemErrorText(errno);
    return result;
  }
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    result.Error = "pipe: " + SystemErrorText(errno);
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    return result;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDONLY);
    if (null_fd >= 0) ::dup2(null_fd, 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    ::execve(program.c_str(), argv.data(), envp.data());
    static const char kFailed[] = "cannot execute the program\n";
    (void)!::write(2, kFailed, sizeof kFailed - 1);
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (pid < 0) {
    result.Error = "fork: " + SystemErrorText(errno);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    return result;
  }
  result.Started = true;
  Drain(out_pipe[0], err_pipe[0], result.Output, result.ErrorOutput);
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      result.Error = "waitpid: " + SystemErrorText(errno);
      return result;
    }
  }
  if (WIFEXITED(status)) {
    result.ExitStatus = WEXITSTATUS(status);
  } else {
    result.Error = result.CommandLine + " ended through signal " +
                   std::to_string(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  }
  return result;
}

}  // namespace quorvane
