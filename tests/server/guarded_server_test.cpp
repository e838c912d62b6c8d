// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Who may drive the control server and what a client can make it read or wait for: the
// run's secret, the peer's user, the limits on heads, bodies and fields, slow clients, a
// full pool, the images a page names, and the file that opens the page.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "common/session_state.h"
#include "common/tool_runner.h"
#include "server/page_opener.h"
#include "server/request_head.h"
#include "server_fixture.h"
#include "support/iso_images.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// A connection written byte for byte, as a hostile or broken client would.
class TRawClient {
 public:
  explicit TRawClient(int port) {
    FSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    FConnected = ::connect(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    timeval tv{10, 0};
    ::setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(FSocket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
  ~TRawClient() { ::close(FSocket); }
  bool Connected() const { return FConnected; }
  // False once the server no longer takes what is sent.
  bool Send(const std::string& data) {
    return ::send(FSocket, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
  }
  // What the server sends until it closes (or 10 s pass).
  std::string ReadAll() {
    std::string out;
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::recv(FSocket, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
  }
  // The reply of one request: its head and as much body as its Content-Length says.
  std::string ReadReply() {
    std::string out;
    char c = 0;
    while (out.find("\r\n\r\n") == std::string::npos && ::recv(FSocket, &c, 1, 0) == 1) out.push_back(c);
    const std::size_t length = out.find("Content-Length: ");
    std::size_t body = length == std::string::npos ? 0 : std::stoul(out.substr(length + 16));
    while (body > 0 && ::recv(FSocket, &c, 1, 0) == 1) out.push_back(c), --body;
    return out;
  }

 private:
  int FSocket = -1;
  bool FConnected = false;
};

// A user of this computer made for the test, removed after it.
class TSecondUser {
 public:
  TSecondUser() {
    if (::geteuid() != 0) {
      FWhyNot = "needs root to add a user";
      return;
    }
    FName = "qvtest" + std::to_string(::getpid() % 100000);
    TToolCommand add;
    add.Tool = "useradd";
    add.Args = {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", FName};
    const TToolResult made = SystemToolRunner()->Run(add);
    if (!made.Succeeded()) {
      FWhyNot = "useradd failed: " + made.ErrorText();
      FName.clear();
      return;
    }
    const passwd* entry = ::getpwnam(FName.c_str());
    if (!entry) {
      FWhyNot = "the new user has no entry";
      return;
    }
    Uid = entry->pw_uid;
    Gid = entry->pw_gid;
  }
  ~TSecondUser() {
    if (FName.empty()) return;
    TToolCommand del;
    del.Tool = "userdel";
    del.Args = {FName};
    SystemToolRunner()->Run(del);
  }
  bool Made() const { return FWhyNot.empty(); }
  const std::string& WhyNot() const { return FWhyNot; }
  const std::string& Name() const { return FName; }
  uid_t Uid = 0;
  gid_t Gid = 0;

 private:
  std::string FName;
  std::string FWhyNot;
};

// The status of one request sent by a child process that runs as `uid`.
int StatusAsUser(uid_t uid, gid_t gid, int port, const std::string& request) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0)
      ::_exit(90);
    TRawClient client(port);
    if (!client.Connected() || !client.Send(request)) ::_exit(91);
    const std::string reply = client.ReadReply();
    if (reply.rfind("HTTP/1.1 200", 0) == 0) ::_exit(0);
    if (reply.rfind("HTTP/1.1 403", 0) == 0) ::_exit(1);
    ::_exit(92);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? (WEXITSTATUS(status) == 0 ? 200 : WEXITSTATUS(status) == 1 ? 403 : -WEXITSTATUS(status)) : -1;
}

std::string PostHead(int port, const std::string& token, const std::string& more) {
  return "POST / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nX-Quorvane-Token: " + token +
         "\r\n" + more;
}

TEST_F(ControlServerTest, OnlyRequestsWithTheRunsSecretAreServed) {
  StartServer();
  ASSERT_EQ(server->Token().size(), 64u);
  EXPECT_EQ(server->Token().find_first_not_of("0123456789abcdef"), std::string::npos);
  const std::string token = server->Token();
  struct TCase {
    const char* name;
    std::string path;
    std::multimap<std::string, std::string> headers;
  };
  const TCase refused[] = {
      {"no secret", "/", {{kTokenHeader, ""}}},
      {"a wrong secret", "/", {{kTokenHeader, std::string(64, '0')}}},
      {"a cookie of another name", "/", {{kTokenHeader, ""}, {"Cookie", "token=" + token}}},
      {"the secret of another run", "/", {{kTokenHeader, TControlServer(setup).Token()}}},
  };
  for (const TCase& c : refused) {
    for (const char* method : {"GET", "POST"}) {
      const THttpReply reply = Request(method, c.path, "Operation=FinishWorks", c.headers);
      EXPECT_EQ(reply.status, 403) << c.name << " " << method;
      EXPECT_EQ(reply.body, "") << c.name << " " << method;
    }
    // It does not count as the first request: the online run still counts down.
    EXPECT_FALSE(ClientConnected) << c.name;
    EXPECT_EQ(server->Module(), nullptr) << c.name;
    EXPECT_FALSE(QuitRequested) << c.name;
  }
  // The page's first address: the page, and the cookie that later requests carry.
  const THttpReply page = Request("GET", "/?token=" + token, "", {{kTokenHeader, ""}});
  EXPECT_EQ(page.status, 200);
  EXPECT_THAT(page.body, StartsWith("\r<!doctype"));
  ASSERT_EQ(page.headers.count("Set-Cookie"), 1u);
  EXPECT_EQ(page.headers.find("Set-Cookie")->second,
            "quorvane_token=" + token + "; Path=/; HttpOnly; SameSite=Strict");
  const THttpReply by_cookie = Request("POST", "/", "Operation=GetExistLoaders",
                                       {{kTokenHeader, ""}, {"Cookie", "a=1; quorvane_token=" + token}});
  EXPECT_EQ(by_cookie.body, R"({"ExistLoaders":"opaque {text}\/1"})");
  // A command is answered without a cookie being set again.
  EXPECT_EQ(by_cookie.headers.count("Set-Cookie"), 0u);
}

TEST_F(ControlServerTest, OtherUsersAreRefusedBeforeAnythingRuns) {
  setup.ClientUids = {0};
  StartServer();
  const std::string finish = PostHead(port, server->Token(), "Content-Length: 22\r\n\r\nOperation=FinishWorks");
  TSecondUser user;
  uid_t other = 54321;
  gid_t other_gid = 54321;
  if (user.Made()) other = user.Uid, other_gid = user.Gid;
  // Even with the secret: a user other than root and the desktop user gets 403.
  EXPECT_EQ(StatusAsUser(other, other_gid, port, finish), 403);
  EXPECT_FALSE(QuitRequested);
  EXPECT_EQ(server->Module(), nullptr);
  EXPECT_FALSE(ClientConnected);
  server->Deactivate();
  server.reset();

  // The same user as the desktop user is served.
  setup.ClientUids = {0, other};
  StartServer();
  EXPECT_EQ(StatusAsUser(other, other_gid, port,
                         PostHead(port, server->Token(), "Content-Length: 25\r\n\r\nOperation=GetExistLoaders")),
            200);
  EXPECT_TRUE(ClientConnected);
}

TEST_F(ControlServerTest, OversizedRequestsAreRefusedBeforeTheRestIsRead) {
  limits.MaxBody = 64 * 1024;
  limits.MaxFields = 50;
  StartServer();
  const std::string token = server->Token();
  {
    // Two million headers once: here the refusal comes after the hundred and first.
    TRawClient client(port);
    ASSERT_TRUE(client.Connected());
    std::string head = PostHead(port, token, "");
    for (int i = 0; i < 200; ++i) head += "X-" + std::to_string(i) + ": 1\r\n";
    client.Send(head);
    EXPECT_THAT(client.ReadAll(), StartsWith("HTTP/1.1 431 "));
  }
  {
    TRawClient client(port);
    client.Send(PostHead(port, token, "X-Long: " + std::string(40000, 'x')));
    EXPECT_THAT(client.ReadAll(), StartsWith("HTTP/1.1 431 "));
  }
  {
    TRawClient client(port);
    client.Send("GET /" + std::string(9000, 'a'));
    EXPECT_THAT(client.ReadAll(), StartsWith("HTTP/1.1 414 "));
  }
  {
    // A gigabyte announced: refused on the head, nothing of it is awaited.
    TRawClient client(port);
    client.Send(PostHead(port, token, "Content-Length: 1073741824\r\n\r\nOperation="));
    EXPECT_THAT(client.ReadAll(), StartsWith("HTTP/1.1 413 "));
  }
  {
    // A chunked body has no announced length: it is cut where it passes the limit.
    TRawClient client(port);
    client.Send(PostHead(port, token, "Transfer-Encoding: chunked\r\n\r\n"));
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'a') + "\r\n";
    std::size_t sent = 0;
    while (sent < 64u * 1024 * 1024 && client.Send(chunk)) sent += chunk.size();
    EXPECT_LT(sent, 16u * 1024 * 1024);
    EXPECT_THAT(client.ReadAll(), StartsWith("HTTP/1.1 413 "));
  }
  // Too many form fields, in a body that is small enough.
  std::string fields = "Operation=CheckMessages";
  for (int i = 0; i < 60; ++i) fields += "&f" + std::to_string(i) + "=1";
  EXPECT_EQ(Post(fields).status, 413);
  EXPECT_EQ(server->Module(), nullptr);
  // Within every limit the same requests work.
  EXPECT_EQ(Post("Operation=CheckMessages&a=1").body, "{}");
}

TEST_F(ControlServerTest, SlowAndIdleClientsTieUpNoWorker) {
  limits.Workers = 1;
  limits.HeadTimeout = std::chrono::milliseconds(400);
  limits.IdleTimeout = std::chrono::milliseconds(400);
  StartServer();
  std::vector<std::unique_ptr<TRawClient>> slow;
  for (int i = 0; i < 20; ++i) {
    slow.push_back(std::make_unique<TRawClient>(port));
    slow.back()->Send("POST / HTTP/1.1\r\nHost: 1");  // and never more
  }
  TRawClient idle(port);  // connects and sends nothing
  // The one worker still serves everyone else at once.
  EXPECT_EQ(Command({{"Operation", "CheckMessages"}}).body, "{}");
  // A late head gets 408; an idle connection is closed.
  EXPECT_THAT(slow.front()->ReadAll(), StartsWith("HTTP/1.1 408 "));
  EXPECT_EQ(idle.ReadAll(), "");
  // Keep-alive: two requests on one connection, then it is let go when idle.
  TRawClient twice(port);
  const std::string request = PostHead(port, server->Token(), "Content-Length: 23\r\n\r\nOperation=CheckMessages");
  twice.Send(request);
  EXPECT_THAT(twice.ReadReply(), StartsWith("HTTP/1.1 200 "));
  twice.Send(request);
  EXPECT_THAT(twice.ReadReply(), StartsWith("HTTP/1.1 200 "));
  EXPECT_EQ(twice.ReadAll(), "");
}

TEST_F(ControlServerTest, AFullPoolAnswers503AndGoesOn) {
  limits.Workers = 1;
  limits.Backlog = 1;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> in_dialog{false};
  setup.OpenFileDialog = [&](const TFileDialogRequest&) {
    in_dialog = true;
    released.wait();
    TFileDialogResult result;
    result.Outcome = TFileDialogResult::TOutcome::Cancelled;
    return result;
  };
  StartServer();
  const std::string token = server->Token();
  auto dialog = std::async(std::launch::async, [&] { return Command({{"Operation", "FlOpnDlg"}}); });
  while (!in_dialog) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // The one worker waits in the dialog; one request may wait for it, the next is refused.
  TRawClient waiting(port), refused(port);
  const std::string request = PostHead(port, token, "Content-Length: 23\r\nConnection: close\r\n\r\nOperation=CheckMessages");
  waiting.Send(request);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  refused.Send(request);
  EXPECT_THAT(refused.ReadAll(), StartsWith("HTTP/1.1 503 "));
  release.set_value();
  EXPECT_EQ(dialog.get().body, R"({"Error":"Dialog cancelled"})");
  EXPECT_THAT(waiting.ReadAll(), HasSubstr("\r\n\r\n{}"));
}

TEST_F(ControlServerTest, ImagesMustBeRegularFilesTheDesktopUserCanRead) {
  StartServer();
  MapDrive('e');
  const std::string readable = temp / "a.iso";
  MakeLoaderImage(readable, -1);
  auto check = [&](const std::string& path) {
    return Command({{"Operation", "CheckBurn"}, {"Mode", "Add"}, {"FlashDrive", "e"},
                    {"Loaders[0][Code]", "6"}, {"Loaders[0][Path]", path}, {"Loaders[0][Name]", "A"}})
        .body;
  };
  struct TCase {
    const char* name;
    std::string path;
  };
  const TCase special[] = {{"a folder", temp.path()}, {"a device node", "/dev/null"},
                           {"a file of /proc", "/proc/self/status"},
                           {"a file of /sys", "/sys/kernel/mm/transparent_hugepage/enabled"},
                           {"a link to /proc", temp / "link.iso"}};
  std::filesystem::create_symlink("/proc/self/environ", temp / "link.iso");
  for (const TCase& c : special)
    EXPECT_THAT(check(c.path), HasSubstr(R"(Image file is not a regular file outside \/proc, \/sys and \/dev)"))
        << c.name;
  EXPECT_EQ(check(readable), R"({"Success":""})");

  TSecondUser user;
  if (!user.Made()) GTEST_SKIP() << "no second user for the rest: " << user.WhyNot();
  const char* saved = std::getenv("SUDO_UID");
  const std::string keep = saved ? saved : "";
  ::setenv("SUDO_UID", std::to_string(user.Uid).c_str(), 1);
  const std::string secret = temp / "root-only.iso";
  MakeLoaderImage(secret, -1);
  ::chmod(secret.c_str(), 0600);
  ::chmod(temp.path().c_str(), 0755);
  ::chmod(readable.c_str(), 0644);
  const std::string refused = check(secret);
  const std::string shadow = check("/etc/shadow");
  const std::string allowed = check(readable);
  const THttpReply burn = Command({{"Operation", "BurnFlashDrive"}, {"Mode", "Add"}, {"FlashDrive", "e"},
                                   {"Loaders[0][Code]", "6"}, {"Loaders[0][Path]", "/etc/shadow"},
                                   {"Loaders[0][Name]", "A"}});
  if (saved)
    ::setenv("SUDO_UID", keep.c_str(), 1);
  else
    ::unsetenv("SUDO_UID");
  const std::string message = R"({"Error":"Image file is not readable by user )" + user.Name() + "\"}";
  EXPECT_EQ(refused, message);
  EXPECT_EQ(shadow, message);
  EXPECT_EQ(allowed, R"({"Success":""})");
  EXPECT_EQ(burn.body, message);
  PumpPending();
  EXPECT_EQ(preparation->runs.load(), 0);
}

TEST(PageOpenerFile, OnlyItsUserCanReadItAndItGoesAway) {
  TTempDir temp;
  const std::string url = "http://127.0.0.1:1800/?token=" + std::string(64, 'f');
  const std::string text = PageOpenerText(url);
  EXPECT_THAT(text, HasSubstr("content=\"0;url=" + url + "\""));
  EXPECT_THAT(text, HasSubstr("location.replace(\"" + url + "\")"));
  struct TCase {
    const char* name;
    mode_t folder_mode;
    bool in_folder;
  };
  const TCase cases[] = {{"his own private folder", 0700, true},
                         {"a folder others may write to", 0777, false},
                         {"a folder of his group", 0770, false}};
  const uid_t uid = ::geteuid() == 0 ? 65534 : ::geteuid();
  const gid_t gid = ::geteuid() == 0 ? 65534 : ::getegid();
  for (const TCase& c : cases) {
    const std::string folder = temp / c.name;
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), c.folder_mode);
    if (::geteuid() == 0) {
      ASSERT_EQ(::chown(folder.c_str(), uid, gid), 0);
    }
    std::string path, made;
    {
      TPageOpenerFile file;
      file.Write(text, uid, gid, folder);
      path = file.Path();
      made = std::filesystem::path(path).parent_path();
      struct stat st {};
      ASSERT_EQ(::lstat(path.c_str(), &st), 0) << c.name;
      EXPECT_EQ(st.st_mode & 07777, 0600u) << c.name;
      EXPECT_EQ(st.st_uid, uid) << c.name;
      EXPECT_EQ(ReadFile(path), text) << c.name;
      EXPECT_EQ(made == folder, c.in_folder) << c.name;
      if (!c.in_folder) {
        ASSERT_EQ(::lstat(made.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << c.name;
        EXPECT_EQ(st.st_uid, uid) << c.name;
      }
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << c.name;
    if (!c.in_folder) {
      EXPECT_FALSE(std::filesystem::exists(made)) << c.name;
    }
  }
  // A link planted where the folder should be is not followed.
  std::filesystem::create_symlink(temp / "his own private folder", temp / "link");
  TPageOpenerFile file;
  file.Write(text, uid, gid, temp / "link");
  EXPECT_NE(std::filesystem::path(file.Path()).parent_path(), temp / "link");
}

}  // namespace
}  // namespace quorvane::testing
