// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "jobs/linux_vm_process.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/desktop_user.h"

namespace quorvane {

namespace {

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

std::vector<gid_t> GroupsOf(const std::string& name, gid_t gid) {
  int count = 32;
  std::vector<gid_t> groups(count);
  if (::getgrouplist(name.c_str(), gid, groups.data(), &count) < 0) {
    groups.resize(count);
    if (::getgrouplist(name.c_str(), gid, groups.data(), &count) < 0) return {gid};
  }
  groups.resize(count);
  return groups;
}

constexpr std::size_t kMaxHandedOver = 16;

// What the child needs, made before the fork: after it only system calls are made.
struct TPrepared {
  std::vector<std::string> Strings;
  std::vector<char*> Argv, Envp;
  int Null = -1;
};

[[noreturn]] void ExecInChild(const TVmProcess& process, TPrepared& prepared) {
  // QEMU starts with no signal blocked or ignored that the program blocks or ignores.
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
  // The handed-over files first move out of the way of the numbers they get (no memory
  // is taken here: the parent may have had other threads).
  int moved[kMaxHandedOver];
  const std::size_t count = process.Files.size();
  if (count > kMaxHandedOver) ::_exit(126);
  for (std::size_t i = 0; i < count; ++i) {
    moved[i] = ::fcntl(process.Files[i], F_DUPFD, 100);
    if (moved[i] < 0) ::_exit(126);
  }
  const int error_output = process.ErrorOutput >= 0 ? ::fcntl(process.ErrorOutput, F_DUPFD, 100)
                                                    : prepared.Null;
  if (::dup2(prepared.Null, 0) < 0 || ::dup2(prepared.Null, 1) < 0 ||
      ::dup2(error_output, 2) < 0)
    ::_exit(126);
  for (std::size_t i = 0; i < count; ++i)
    if (::dup2(moved[i], HandedOverFile(i)) < 0) ::_exit(126);
  ::close_range(static_cast<unsigned>(HandedOverFile(count)), ~0U, 0);
  if (process.User.Change) {
    if (::setgroups(process.User.Groups.size(), process.User.Groups.data()) != 0 ||
        ::setgid(process.User.Gid) != 0 || ::setuid(process.User.Uid) != 0)
      ::_exit(126);
    // Never back to root.
    if (::setuid(0) == 0) ::_exit(126);
  }
  ::execve(process.Program.c_str(), prepared.Argv.data(), prepared.Envp.data());
  ::_exit(127);
}

}  // namespace

TVmUser VmUser() {
  TVmUser user;
  if (::geteuid() != 0) return user;
  user.Change = true;
  if (const std::optional<TDesktopUser> desktop = DesktopUser()) {
    user.Uid = desktop->Uid;
    user.Gid = desktop->Gid;
    user.Name = desktop->Name;
  } else {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwnam_r("nobody", &entry, buffer, sizeof buffer, &found) == 0 && found) {
      user.Uid = found->pw_uid;
      user.Gid = found->pw_gid;
    } else {
      user.Uid = user.Gid = 65534;
    }
    user.Name = "nobody";
    user.Groups = {user.Gid};
    return user;
  }
  user.Groups = GroupsOf(user.Name, user.Gid);
  return user;
}

bool KvmUsableBy(const TVmUser& user) {
  if (!user.Change) return ::access("/dev/kvm", R_OK | W_OK) == 0;
  struct stat st {};
  if (::stat("/dev/kvm", &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  if (st.st_uid == user.Uid) return (st.st_mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
  for (gid_t gid : user.Groups)
    if (gid == st.st_gid) return (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  return (st.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH);
}

int OpenDiskReadOnly(const std::string& path, bool device, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
  if (fd < 0) {
    error = ErrnoText("cannot open " + path);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || (device && S_ISBLK(st.st_mode)))) {
    ::close(fd);
    error = path + (device ? " is neither a disk image file nor a disk" : " is not a regular file");
    return -1;
  }
  return fd;
}

int MemoryCopyOf(const std::string& path, std::string& error) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    error = ErrnoText("cannot open " + path);
    return -1;
  }
  const int out = ::memfd_create("vm-file", MFD_CLOEXEC);
  if (out < 0) {
    error = ErrnoText("cannot make a file in memory");
    ::close(in);
    return -1;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = ErrnoText("cannot read " + path);
      break;
    }
    if (got == 0) {
      ::close(in);
      return out;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) {
        error = ErrnoText("cannot copy " + path + " into memory");
        ::close(in);
        ::close(out);
        return -1;
      }
      done += put;
    }
  }
  ::close(in);
  ::close(out);
  return -1;
}

int ReopenReadOnly(int fd, std::string& error) {
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const int again = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (again < 0) error = ErrnoText("cannot open " + path);
  return again;
}

std::string MakeVmFolder(const TVmUser& user, std::string& error) {
  const char* tmp = std::getenv("TMPDIR");
  // The program's own TMPDIR only when it is a plain absolute folder; else /tmp.
  std::string base = tmp && tmp[0] == '/' && ::geteuid() != 0 ? tmp : "/tmp";
  std::string folder = base + "/quorvane-vm-XXXXXX";
  if (!::mkdtemp(folder.data())) {
    error = ErrnoText("cannot make a folder in " + base);
    return {};
  }
  if (user.Change && ::chown(folder.c_str(), user.Uid, user.Gid) != 0) {
    error = ErrnoText("cannot hand " + folder + " to " + user.Name);
    ::rmdir(folder.c_str());
    return {};
  }
  return folder;
}

bool RemoveVmFolder(const std::string& folder) {
  // QEMU unlinks its overlay once it has opened it: the folder is empty when all went
  // well. Whatever else is in it stays; no file in a folder its user owns is removed by
  // root, which a swapped link would lead anywhere.
  return ::rmdir(folder.c_str()) == 0 || errno == ENOENT;
}

pid_t StartVmProcess(const TVmProcess& process, std::string& error) {
  if (process.Files.size() > kMaxHandedOver) {
    error = "too many files for " + process.Program;
    return -1;
  }
  TPrepared prepared;
  prepared.Strings.push_back(process.Program);
  prepared.Strings.insert(prepared.Strings.end(), process.Args.begin(), process.Args.end());
  const std::size_t argc = prepared.Strings.size();
  prepared.Strings.insert(prepared.Strings.end(), process.Environment.begin(),
                          process.Environment.end());
  for (std::size_t i = 0; i < prepared.Strings.size(); ++i)
    (i < argc ? prepared.Argv : prepared.Envp).push_back(prepared.Strings[i].data());
  prepared.Argv.push_back(nullptr);
  prepared.Envp.push_back(nullptr);
  prepared.Null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (prepared.Null < 0) {
    error = ErrnoText("cannot open /dev/null");
    return -1;
  }
  const std::string folder = process.Folder;
  const pid_t pid = ::fork();
  if (pid < 0) {
    error = ErrnoText("cannot start " + process.Program);
    ::close(prepared.Null);
    return -1;
  }
  if (pid == 0) {
    if (!process.Detached) ExecInChild(process, prepared);
    // Detached: a session of its own, and a waiter that outlives this program and
    // removes the machine's folder after it.
    ::setsid();
    const pid_t waiter = ::fork();
    if (waiter != 0) ::_exit(waiter < 0 ? 1 : 0);
    const pid_t machine = ::fork();
    if (machine == 0) ExecInChild(process, prepared);
    ::close_range(0, ~0U, 0);
    if (machine > 0) {
      int status = 0;
      while (::waitpid(machine, &status, 0) < 0 && errno == EINTR) {
      }
    }
    // Nobody is left to tell when this fails: the folder then stays, empty or not.
    ::_exit(folder.empty() || ::rmdir(folder.c_str()) == 0 ? 0 : 1);
  }
  ::close(prepared.Null);
  if (!process.Detached) return pid;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = "cannot start " + process.Program + " on its own";
    return -1;
  }
  return 0;
}

}  // namespace quorvane
