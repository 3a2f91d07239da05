// httplib's server with connections handled our way: a request must arrive
// whole within a time and a size, however it is sent, so that no client can
// hold a worker or the server's memory for long. httplib bounds only each
// single read (a client sending a byte every few seconds held a worker for
// ever) and only bodies sent with a Content-Length (a chunked body of 1 GiB
// was taken whole).
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace pierhost {

struct ConnectionLimits {
  // From a request's first byte to its last, head and body.
  std::chrono::milliseconds request_time{10'000};
  // A request's head and body as sent (chunk framing included).
  std::size_t request_bytes = 128 * 1024;
  // How long an open connection may wait for its next request.
  std::chrono::milliseconds idle_time{3'000};
  // Writing one answer, from its first byte to its last.
  std::chrono::milliseconds answer_time{60'000};
  // Requests on one connection before it is closed.
  int requests_per_connection = 100;
};

// Why the request being handled on this thread could not be read, if it
// could not: the server answers 408 or 413 instead of httplib's 400.
enum class RequestFault { None, TooSlow, TooLarge };
RequestFault CurrentRequestFault();
// Asks that the connection of the request being handled on this thread be
// closed once it is answered (a refused request may have left its body).
void CloseConnectionAfterAnswer();

class GuardedHttpServer : public httplib::Server {
 public:
  // `workers` threads serve connections; more connections wait for one.
  GuardedHttpServer(const ConnectionLimits& limits, std::size_t workers);

  // The JSON body of the answer to a request cut short before httplib could
  // answer it (its first line came too slowly): {"error": ...}.
  void SetFaultBody(std::function<std::string(RequestFault fault)> body) {
    fault_body_ = std::move(body);
  }

 private:
  bool process_and_close_socket(socket_t sock) override;
  ConnectionLimits limits_;
  std::function<std::string(RequestFault)> fault_body_;
};

}  // namespace pierhost
