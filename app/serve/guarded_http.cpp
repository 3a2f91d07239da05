#include "app/serve/guarded_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

namespace pierhost {

namespace {

using Clock = std::chrono::steady_clock;

thread_local RequestFault t_fault = RequestFault::None;
thread_local bool t_close = false;

// Milliseconds left until `deadline`, at least 0.
int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1'000'000));
}

// Waits until the socket is ready for `events` or `ms` have passed.
bool Ready(socket_t sock, short events, int ms) {
  pollfd p{sock, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, ms);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

void Address(const sockaddr_storage& addr, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (addr.ss_family == AF_INET) {
    const auto& a = reinterpret_cast<const sockaddr_in&>(addr);
    ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    port = ntohs(a.sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto& a = reinterpret_cast<const sockaddr_in6&>(addr);
    ::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
    port = ntohs(a.sin6_port);
  }
  ip = text;
}

// A connection as httplib reads and writes it, within the limits: reads
// fail once the request has taken its time or its bytes, writes once the
// answer has taken its time.
class GuardedStream : public httplib::Stream {
 public:
  GuardedStream(socket_t sock, const ConnectionLimits& limits) : sock_(sock), limits_(limits) {}

  // Waits for the next request on the connection; false when none comes in
  // the idle time or the server stops.
  bool WaitForRequest(const std::function<bool()>& stopping) {
    if (begin_ < end_) return true;
    const auto deadline = Clock::now() + limits_.idle_time;
    for (;;) {
      if (stopping()) return false;
      const int left = MillisecondsLeft(deadline);
      if (left == 0) return false;
      if (Ready(sock_, POLLIN, std::min(left, 100))) return true;
    }
  }

  void StartRequest() {
    read_deadline_ = Clock::now() + limits_.request_time;
    consumed_ = 0;
    writing_ = false;
    t_fault = RequestFault::None;
    t_close = false;
  }

  bool is_readable() const override {
    return begin_ < end_ || Ready(sock_, POLLIN, MillisecondsLeft(read_deadline_));
  }
  bool is_writable() const override {
    return Ready(sock_, POLLOUT, writing_ ? MillisecondsLeft(write_deadline_) : 0);
  }

  ssize_t read(char* ptr, size_t size) override {
    if (consumed_ >= limits_.request_bytes) {
      t_fault = RequestFault::TooLarge;
      return -1;
    }
    if (begin_ == end_ && !Fill()) return -1;
    const std::size_t n = std::min({size, end_ - begin_, limits_.request_bytes - consumed_});
    std::memcpy(ptr, buffer_ + begin_, n);
    begin_ += n;
    consumed_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!writing_) {
      writing_ = true;
      write_deadline_ = Clock::now() + limits_.answer_time;
    }
    if (!Ready(sock_, POLLOUT, MillisecondsLeft(write_deadline_))) return -1;
    for (;;) {
      const ssize_t n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      return n;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t length = sizeof addr;
    if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
      Address(addr, ip, port);
    }
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t length = sizeof addr;
    if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
      Address(addr, ip, port);
    }
  }
  socket_t socket() const override { return sock_; }
  // Whether any of an answer went out.
  bool Wrote() const { return writing_; }

 private:
  bool Fill() {
    const int left = MillisecondsLeft(read_deadline_);
    if (left == 0 || !Ready(sock_, POLLIN, left)) {
      t_fault = RequestFault::TooSlow;
      return false;
    }
    for (;;) {
      const ssize_t n = ::recv(sock_, buffer_, sizeof buffer_, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      begin_ = 0;
      end_ = static_cast<std::size_t>(n);
      return true;
    }
  }

  socket_t sock_;
  ConnectionLimits limits_;
  char buffer_[4096];
  std::size_t begin_ = 0, end_ = 0;
  std::size_t consumed_ = 0;
  Clock::time_point read_deadline_ = Clock::now();
  Clock::time_point write_deadline_ = Clock::now();
  bool writing_ = false;
};

}  // namespace

RequestFault CurrentRequestFault() { return t_fault; }
void CloseConnectionAfterAnswer() { t_close = true; }

GuardedHttpServer::GuardedHttpServer(const ConnectionLimits& limits, std::size_t workers)
    : limits_(limits) {
  new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
}

bool GuardedHttpServer::process_and_close_socket(socket_t sock) {
  GuardedStream stream(sock, limits_);
  bool ok = false;
  for (int left = limits_.requests_per_connection; left > 0; --left) {
    if (!stream.WaitForRequest([this] { return svr_sock_ == INVALID_SOCKET; })) break;
    stream.StartRequest();
    bool closed = false;
    // Ranges are not applied to answers: httplib builds every range of a
    // request in memory (2,000 overlapping ones took the server down). The
    // page's files honour one range on their own (the Range header stays).
    ok = process_request(stream, left == 1, closed,
                         [](httplib::Request& request) { request.ranges.clear(); });
    if (!ok && t_fault != RequestFault::None && !stream.Wrote() && fault_body_) {
      // httplib gives up without an answer when the request's first line
      // does not come: the client is told why.
      const std::string body = fault_body_(t_fault);
      const bool slow = t_fault == RequestFault::TooSlow;
      const std::string head = std::string("HTTP/1.1 ") +
                               (slow ? "408 Request Timeout" : "413 Payload Too Large") +
                               "\r\nContent-Type: application/json; charset=utf-8\r\n"
                               "Content-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
      stream.write(head.data(), head.size());
      stream.write(body.data(), body.size());
    }
    if (!ok || closed || t_close || t_fault != RequestFault::None) break;
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return ok;
}

}  // namespace pierhost
