// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The gate in front of cpp-httplib on Linux: one epoll thread reads request heads and
// watches idle connections, a fixed set of worker threads serves whole heads.
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/text.h"
#include "server/guarded_http_server.h"

namespace quorvane {

namespace {

using TClock = std::chrono::steady_clock;

// What a refused connection may still send us, read and dropped so that the client sees
// the refusal rather than a reset, before it is closed all the same.
constexpr std::size_t kDrainBytes = 64 * 1024;
constexpr auto kDrainTime = std::chrono::milliseconds(500);

int MillisecondsUntil(TClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
  return left.count() < 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

bool WaitFor(int socket, short events, int milliseconds) {
  pollfd p{socket, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, milliseconds);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

// Sends all of `data` within the time-out; false when the peer is gone or too slow.
bool SendAll(int socket, const char* data, std::size_t size, std::chrono::milliseconds timeout) {
  const TClock::time_point deadline = TClock::now() + timeout;
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(socket, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
        WaitFor(socket, POLLOUT, MillisecondsUntil(deadline)))
      continue;
    return false;
  }
  return true;
}

void EndpointText(const sockaddr_storage& address, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& a = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    port = ntohs(a.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
    port = ntohs(a.sin6_port);
  }
  ip = text;
}

// One request's view of a connection for cpp-httplib: first what the gate has read (the
// head, maybe more), then the socket, with the body bounded in size and time.
class TConnectionStream : public httplib::Stream {
 public:
  TConnectionStream(int socket, std::string& buffered, std::size_t head_size, std::uint64_t body_cap,
                    const TServerLimits& limits)
      : FSocket(socket),
        FBuffered(buffered),
        FHeadSize(head_size),
        FBodyCap(body_cap),
        FLimits(limits),
        FBodyDeadline(TClock::now() + limits.BodyTimeout) {}

  bool is_readable() const override {
    return FPos < FBuffered.size() || WaitFor(FSocket, POLLIN, Timeout());
  }
  bool is_writable() const override {
    return !FRefused && WaitFor(FSocket, POLLOUT, static_cast<int>(FLimits.WriteTimeout.count()));
  }

  ssize_t read(char* ptr, std::size_t size) override {
    if (FRefused || size == 0) return FRefused ? -1 : 0;
    // What is written so far (an interim "100 Continue") goes out before we wait.
    if (FPos >= FBuffered.size() && (!Flush() || !Fill())) return -1;
    std::size_t n = std::min(size, FBuffered.size() - FPos);
    // Body bytes handed out beyond the cap: refused here, before any more is read.
    const std::uint64_t body_after = FHanded + n > FHeadSize ? FHanded + n - FHeadSize : 0;
    if (body_after > FBodyCap) {
      Refuse(413);
      return -1;
    }
    std::memcpy(ptr, FBuffered.data() + FPos, n);
    FPos += n;
    FHanded += n;
    return static_cast<ssize_t>(n);
  }

  // A reply goes out in as few segments as it can: the library writes its head and its
  // body apart, and they are sent together when the request is done (or the buffer full).
  ssize_t write(const char* ptr, std::size_t size) override {
    if (FRefused) return static_cast<ssize_t>(size);  // the refusal has been sent instead
    FOut.append(ptr, size);
    if (FOut.size() >= kSendBuffer && !Flush()) return -1;
    return static_cast<ssize_t>(size);
  }
  bool Flush() {
    if (FOut.empty() || FRefused) return true;
    const bool sent = SendAll(FSocket, FOut.data(), FOut.size(), FLimits.WriteTimeout);
    FOut.clear();
    return sent;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = FPeer.Ip;
    port = FPeer.Port;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = FOwn.Ip;
    port = FOwn.Port;
  }
  struct TEndpoint {
    std::string Ip;
    int Port = 0;
  };
  // The connection's two ends, looked up once per connection.
  void SetEndpoints(const TEndpoint& own, const TEndpoint& peer) {
    FOwn = own;
    FPeer = peer;
  }
  socket_t socket() const override { return FSocket; }

  bool Refused() const { return FRefused; }
  // What was read past this request (a pipelined next request).
  std::string Leftover() const { return FBuffered.substr(std::min(FPos, FBuffered.size())); }

 private:
  int Timeout() const {
    return std::min(static_cast<int>(FLimits.ReadTimeout.count()), MillisecondsUntil(FBodyDeadline));
  }

  bool Fill() {
    // Everything buffered has been handed out: start the buffer afresh.
    FBuffered.clear();
    FPos = 0;
    char chunk[16384];
    for (;;) {
      const ssize_t n = ::recv(FSocket, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n > 0) {
        FBuffered.append(chunk, static_cast<std::size_t>(n));
        return true;
      }
      if (n == 0) return false;
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(FSocket, POLLIN, Timeout())) continue;
      return false;
    }
  }

  void Refuse(int status) {
    const std::string reply = RefusalReply(status);
    SendAll(FSocket, reply.data(), reply.size(), FLimits.WriteTimeout);
    FRefused = true;
  }

  int FSocket;
  std::string& FBuffered;
  std::size_t FPos = 0;
  std::uint64_t FHanded = 0;
  std::size_t FHeadSize;
  std::uint64_t FBodyCap;
  const TServerLimits& FLimits;
  TClock::time_point FBodyDeadline;
  bool FRefused = false;
  std::string FOut;
  TEndpoint FOwn, FPeer;
  static constexpr std::size_t kSendBuffer = 64 * 1024;
};

}  // namespace

// The connections, the poller and the workers.
class TConnectionGate {
 public:
  struct TConnection {
    int Socket = -1;
    std::string Buffer;
    bool Admitted = false;
    TConnectionStream::TEndpoint Own, Peer;
    bool Draining = false;  // refused: what still comes is dropped until the time is up
    std::size_t Drained = 0;
    std::size_t Served = 0;
    TClock::time_point Deadline;
  };

  TConnectionGate(TGuardedHttpServer& server, const TServerLimits& limits)
      : FServer(server), FLimits(limits) {
    FEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    FWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (FEpoll < 0 || FWake < 0) throw std::runtime_error("Cannot watch connections: " + SystemErrorText(errno));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr;
    ::epoll_ctl(FEpoll, EPOLL_CTL_ADD, FWake, &event);
    try {
      FPoller = std::thread([this] { Poll(); });
      for (int i = 0; i < FLimits.Workers; ++i) FWorkers.emplace_back([this] { Work(); });
    } catch (const std::system_error& error) {
      Stop();
      throw std::runtime_error(std::string("Cannot start the server's threads: ") + error.what());
    }
  }

  ~TConnectionGate() {
    Stop();
    if (FEpoll >= 0) ::close(FEpoll);
    if (FWake >= 0) ::close(FWake);
  }

  // A connection the listener has accepted.
  void Add(int socket) {
    if (FStopping) return void(::close(socket));
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
    std::unique_lock<std::mutex> guard(FLock);
    if (FConnections.size() >= FLimits.MaxConnections) {
      guard.unlock();
      const std::string reply = RefusalReply(503);
      SendAll(socket, reply.data(), reply.size(), std::chrono::milliseconds(0));
      ::close(socket);
      return;
    }
    auto connection = std::make_unique<TConnection>();
    connection->Socket = socket;
    connection->Deadline = TClock::now() + FLimits.HeadTimeout;
    TConnection* c = connection.get();
    FConnections.emplace(c, std::move(connection));
    guard.unlock();
    Arm(c, EPOLL_CTL_ADD);
  }

  void Stop() {
    if (FStopping.exchange(true)) return;
    const std::uint64_t one = 1;
    if (FWake >= 0) (void)!::write(FWake, &one, sizeof one);
    FWork.notify_all();
    if (FPoller.joinable()) FPoller.join();
    for (std::thread& worker : FWorkers)
      if (worker.joinable()) worker.join();
    std::lock_guard<std::mutex> guard(FLock);
    for (auto& [c, owned] : FConnections) ::close(c->Socket);
    FConnections.clear();
    FQueue.clear();
  }

 private:
  void Arm(TConnection* c, int op) {
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
    event.data.ptr = c;
    {
      std::lock_guard<std::mutex> guard(FLock);
      FInPoller.emplace(c);
    }
    if (::epoll_ctl(FEpoll, op, c->Socket, &event) != 0) Close(c);
  }

  void Close(TConnection* c) {
    std::lock_guard<std::mutex> guard(FLock);
    FInPoller.erase(c);
    ::close(c->Socket);
    FConnections.erase(c);
  }

  // Sends the refusal and lets the poller drop what the client still sends for a moment.
  // The poller never waits for a client that does not read: it sends what fits at once.
  void Refuse(TConnection* c, int status, bool from_poller = false) {
    const std::string reply = RefusalReply(status);
    SendAll(c->Socket, reply.data(), reply.size(),
            from_poller ? std::chrono::milliseconds(0) : FLimits.WriteTimeout);
    Drain(c);
  }
  void Drain(TConnection* c) {
    ::shutdown(c->Socket, SHUT_WR);
    c->Draining = true;
    c->Buffer.clear();
    c->Buffer.shrink_to_fit();
    c->Deadline = TClock::now() + kDrainTime;
    Arm(c, EPOLL_CTL_MOD);
  }

  void Poll() {
    std::vector<epoll_event> events(64);
    TClock::time_point next_scan = TClock::now();
    while (!FStopping) {
      const int n = ::epoll_wait(FEpoll, events.data(), static_cast<int>(events.size()), 100);
      for (int i = 0; i < n; ++i) {
        auto* c = static_cast<TConnection*>(events[i].data.ptr);
        if (!c) continue;  // woken to stop
        {
          std::lock_guard<std::mutex> guard(FLock);
          FInPoller.erase(c);
        }
        Readable(c);
      }
      if (TClock::now() >= next_scan) {
        next_scan = TClock::now() + std::chrono::milliseconds(100);
        Expire();
      }
    }
  }

  void Readable(TConnection* c) {
    char chunk[16384];
    bool ended = false;
    for (;;) {
      const ssize_t n = ::recv(c->Socket, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n > 0) {
        if (c->Draining) {
          c->Drained += static_cast<std::size_t>(n);
          if (c->Drained > kDrainBytes) return Close(c);
          continue;
        }
        if (c->Buffer.empty()) c->Deadline = TClock::now() + FLimits.HeadTimeout;
        c->Buffer.append(chunk, static_cast<std::size_t>(n));
        // Never more than a head's worth before it is checked.
        if (c->Buffer.size() > FLimits.MaxHeadBytes + FLimits.MaxRequestLine) break;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      break;
    }
    if (c->Draining) return ended ? Close(c) : Arm(c, EPOLL_CTL_MOD);
    if (RequestHeadEnd(c->Buffer) != std::string::npos) return Queue(c);
    if (ended) return Close(c);
    if (const int status = PartialHeadStatus(c->Buffer, FLimits)) return Refuse(c, status, true);
    Arm(c, EPOLL_CTL_MOD);
  }

  // Closes what has waited too long: an idle connection quietly, a head that is late
  // with 408.
  void Expire() {
    std::vector<TConnection*> late;
    const TClock::time_point now = TClock::now();
    {
      std::lock_guard<std::mutex> guard(FLock);
      for (TConnection* c : FInPoller)
        if (c->Deadline <= now) late.push_back(c);
    }
    for (TConnection* c : late) {
      // Taken out of the poller first so that an event cannot hand it on meanwhile.
      if (::epoll_ctl(FEpoll, EPOLL_CTL_DEL, c->Socket, nullptr) != 0) continue;
      {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FInPoller.erase(c)) continue;
      }
      if (c->Draining || c->Buffer.empty()) {
        Close(c);
      } else {
        const std::string reply = RefusalReply(408);
        SendAll(c->Socket, reply.data(), reply.size(), std::chrono::milliseconds(0));
        Close(c);
      }
    }
  }

  void Queue(TConnection* c) {
    std::unique_lock<std::mutex> guard(FLock);
    if (FQueue.size() >= FLimits.Backlog) {
      guard.unlock();
      return Refuse(c, 503, true);
    }
    FQueue.push_back(c);
    guard.unlock();
    FWork.notify_one();
  }

  void Work() {
    for (;;) {
      TConnection* c = nullptr;
      {
        std::unique_lock<std::mutex> guard(FLock);
        FWork.wait(guard, [this] { return FStopping || !FQueue.empty(); });
        if (FStopping) return;
        c = FQueue.front();
        FQueue.pop_front();
      }
      Serve(c);
    }
  }

  void Serve(TConnection* c) {
    for (;;) {
      if (!c->Admitted) {
        bool admitted = false;
        try {
          admitted = FServer.FAdmit && FServer.FAdmit(c->Socket);
        } catch (...) {
        }
        if (!admitted) return Refuse(c, 403);
        c->Admitted = true;
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        if (::getsockname(c->Socket, reinterpret_cast<sockaddr*>(&address), &size) == 0)
          EndpointText(address, c->Own.Ip, c->Own.Port);
        size = sizeof address;
        if (::getpeername(c->Socket, reinterpret_cast<sockaddr*>(&address), &size) == 0)
          EndpointText(address, c->Peer.Ip, c->Peer.Port);
      }
      const std::size_t head_end = RequestHeadEnd(c->Buffer);
      const THeadVerdict verdict =
          CheckRequestHead(std::string_view(c->Buffer).substr(0, head_end), FLimits, FServer.FToken);
      if (verdict.Status != 0) return Refuse(c, verdict.Status);
      const std::uint64_t cap = verdict.HasLength ? verdict.ContentLength
                                : verdict.Chunked ? FLimits.MaxBody + FLimits.MaxBody / 8 + 65536
                                                  : FLimits.MaxBody;
      const bool last = ++c->Served >= FLimits.MaxRequestsPerConnection || FStopping;
      bool closed = false;
      bool ok = false;
      TConnectionStream stream(c->Socket, c->Buffer, head_end, cap, FLimits);
      stream.SetEndpoints(c->Own, c->Peer);
      try {
        ok = FServer.process_request(stream, last, closed, nullptr);
      } catch (...) {
        ok = false;
      }
      if (!stream.Flush()) ok = false;
      if (stream.Refused()) return Drain(c);
      if (!ok || closed || last) return Close(c);
      c->Buffer = stream.Leftover();
      if (RequestHeadEnd(c->Buffer) != std::string::npos) continue;  // pipelined
      c->Deadline = TClock::now() + (c->Buffer.empty() ? FLimits.IdleTimeout : FLimits.HeadTimeout);
      return Arm(c, EPOLL_CTL_MOD);
    }
  }

  TGuardedHttpServer& FServer;
  const TServerLimits& FLimits;
  int FEpoll = -1;
  int FWake = -1;
  std::atomic<bool> FStopping{false};
  std::mutex FLock;
  std::condition_variable FWork;
  std::unordered_map<TConnection*, std::unique_ptr<TConnection>> FConnections;
  std::unordered_set<TConnection*> FInPoller;
  std::deque<TConnection*> FQueue;
  std::thread FPoller;
  std::vector<std::thread> FWorkers;
};

namespace {

// The listener's hand-over: the accepted socket goes straight to the gate.
class TInlineQueue : public httplib::TaskQueue {
 public:
  explicit TInlineQueue(TConnectionGate* gate) : FGate(gate) {}
  void enqueue(std::function<void()> fn) override { fn(); }
  void shutdown() override {
    if (FGate) FGate->Stop();
  }

 private:
  TConnectionGate* FGate;
};

}  // namespace

TGuardedHttpServer::TGuardedHttpServer(TServerLimits limits, std::function<bool(int)> admit,
                                       std::string token)
    : FLimits(std::move(limits)), FAdmit(std::move(admit)), FToken(std::move(token)) {
  set_payload_max_length(FLimits.MaxBody);
  set_read_timeout(std::chrono::duration_cast<std::chrono::seconds>(FLimits.ReadTimeout).count());
  set_write_timeout(std::chrono::duration_cast<std::chrono::seconds>(FLimits.WriteTimeout).count());
}

TGuardedHttpServer::~TGuardedHttpServer() {
  if (FGate) FGate->Stop();
}

bool TGuardedHttpServer::BindLoopback(int port) {
  if (!bind_to_port("127.0.0.1", port)) return false;
  // The library listens with a short backlog of its own: a burst of clients would be
  // refused by the kernel before we saw them.
  ::listen(svr_sock_, FLimits.ListenBacklog);
  FGate = std::make_unique<TConnectionGate>(*this, FLimits);
  TConnectionGate* gate = FGate.get();
  new_task_queue = [gate] { return new TInlineQueue(gate); };
  return true;
}

bool TGuardedHttpServer::process_and_close_socket(socket_t sock) {
  if (FGate) {
    FGate->Add(sock);
  } else {
    ::close(sock);
  }
  return true;
}

}  // namespace quorvane
