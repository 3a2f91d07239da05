#include "app/serve/access.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace pierhost {

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool IsIpv4(const std::string& host) {
  in_addr a{};
  return ::inet_pton(AF_INET, host.c_str(), &a) == 1;
}

bool IsIpv6(const std::string& host) {
  in6_addr a{};
  return ::inet_pton(AF_INET6, host.c_str(), &a) == 1;
}

bool IsLoopback(const std::string& host) {
  if (host == "localhost" || host == "::1") return true;
  in_addr a{};
  return ::inet_pton(AF_INET, host.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

// Splits "host:port", "[v6]:port" or "host"; the port is -1 when absent, -2
// when it is not a number.
bool SplitAuthority(const std::string& authority, std::string& host, int& port) {
  port = -1;
  std::string rest;
  if (authority.starts_with("[")) {
    const auto close = authority.find(']');
    if (close == std::string::npos) return false;
    host = authority.substr(1, close - 1);
    rest = authority.substr(close + 1);
  } else {
    const auto colon = authority.find(':');
    host = authority.substr(0, colon);
    rest = colon == std::string::npos ? "" : authority.substr(colon);
  }
  if (!rest.empty()) {
    if (rest.size() < 2 || rest.size() > 6 || rest[0] != ':' ||
        rest.find_first_not_of("0123456789", 1) != std::string::npos) {
      return false;
    }
    port = std::stoi(rest.substr(1));
  }
  host = Lower(host);
  return !host.empty();
}

}  // namespace

bool HostAllowed(const std::string& host_header, const Access& access) {
  std::string host;
  int port = -1;
  if (!SplitAuthority(host_header, host, port)) return false;
  if (port != access.port && !(port == -1 && access.port == 80)) return false;
  if (IsLoopback(host)) return true;
  std::string bound = Lower(access.bound_host);
  if (bound.starts_with("[") && bound.ends_with("]")) bound = bound.substr(1, bound.size() - 2);
  if (host == bound) return true;
  // Listening on every address: this machine is reached by one of its
  // addresses, never by a name that another site could point at it.
  const bool everywhere = bound.empty() || bound == "0.0.0.0" || bound == "::";
  return everywhere && (IsIpv4(host) || IsIpv6(host));
}

bool OriginAllowed(const std::string& origin, const Access& access) {
  constexpr std::string_view kScheme = "http://";
  if (!origin.starts_with(kScheme)) return false;
  const std::string authority = origin.substr(kScheme.size());
  if (authority.find_first_of("/?#@") != std::string::npos) return false;
  return HostAllowed(authority, access);
}

bool TokenMatches(const std::string& given, const std::string& token) {
  if (token.empty()) return false;
  unsigned char difference = given.size() == token.size() ? 0 : 1;
  for (std::size_t i = 0; i < token.size(); ++i) {
    const char g = i < given.size() ? given[i] : '\0';
    difference = static_cast<unsigned char>(difference | (g ^ token[i]));
  }
  return difference == 0;
}

std::string NewToken() {
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "cannot make the server's token");
    }
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  std::string text;
  for (const unsigned char b : bytes) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", b);
    text += hex;
  }
  return text;
}

}  // namespace pierhost
