// Who may use pierhost serve. Any page open in the user's browser can send
// requests to a server on the user's machine, and a page of another site
// can reach it through a name of its own that it points at 127.0.0.1 (DNS
// rebinding). So every request must name this server by a name of this
// machine (Host), a request from a page must come from this server's own
// page (Origin), and the API needs the token made when the server starts,
// which only the URL printed then carries.
#pragma once

#include <string>

namespace pierhost {

struct Access {
  std::string bound_host;  // the address the server listens on
  int port = 0;            // the port it listens on
  std::string token;       // what the API needs
};

// Whether a Host header names this server: "localhost", a loopback address
// (127.x.x.x, ::1) or the address it listens on (any address when it
// listens on all of them), with its port.
bool HostAllowed(const std::string& host_header, const Access& access);

// Whether an Origin header is this server's own page: http, a name that
// HostAllowed takes, the server's port.
bool OriginAllowed(const std::string& origin, const Access& access);

// Whether `given` is the token, compared in a time that does not tell how
// much of a guess was right.
bool TokenMatches(const std::string& given, const std::string& token);

// A new token: 128 random bits as 32 hexadecimal digits.
std::string NewToken();

}  // namespace pierhost
