// pierhost serve under hostile requests: ranges, deep nesting, oversized and
// chunked bodies, slow clients, pages of other sites and requests without
// the token. Each case asks for a clear refusal (or the right answer) and
// for the server to go on answering. Raw sockets where a client library
// would not send the request as an attacker does.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "app/serve/access.h"
#include "app/serve/server.h"

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

const fs::path kExample = fs::path(PIER_SOURCE_DIR) / "examples" / "two_storey.json";
const pierhost::ToolLocation kTool{std::string(PIER_PLUGIN_DIR) + "/libpiertool.so", PIER_TOOL_DIR};

// The test program's scratch folder, removed when it ends.
fs::path Scratch() {
  static const struct Folder {
    fs::path path =
        fs::temp_directory_path() / ("pier_serve_hostile_" + std::to_string(::getpid()));
    ~Folder() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  } folder;
  fs::create_directories(folder.path);
  return folder.path;
}

// The page's folder: the two files the server needs, the script 10,000
// bytes of known content.
fs::path PageFolder() {
  const fs::path dir = Scratch() / "web";
  fs::create_directories(dir);
  std::ofstream(dir / "index.html") << "<!doctype html><title>page</title>";
  std::string script;
  for (int i = 0; script.size() < 10000; ++i) script += std::to_string(i % 10);
  std::ofstream(dir / "app.js") << script.substr(0, 10000);
  return dir;
}

class Running {
 public:
  explicit Running(pierhost::ServeOptions options = {}) {
    if (options.model.empty()) options.model = kExample.string();
    options.port = 0;
    options.web_dir = PageFolder().string();
    server_ = std::make_unique<pierhost::WebServer>(options, kTool);
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Listen(); });
  }
  ~Running() {
    server_->Stop();
    thread_.join();
  }
  httplib::Client Client(bool with_token = true) const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(30, 0);
    if (with_token) c.set_bearer_token_auth(server_->Token());
    return c;
  }
  int Port() const { return port_; }
  const std::string& Token() const { return server_->Token(); }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  std::unique_ptr<pierhost::WebServer> server_;
  int port_ = 0;
  std::thread thread_;
};

// A connection as an attacker makes it: bytes sent as they are given.
class Raw {
 public:
  explicit Raw(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Raw() { ::close(fd_); }
  Raw(const Raw&) = delete;
  Raw& operator=(const Raw&) = delete;
  bool Connected() const { return connected_; }
  // False once the server has closed the connection.
  bool Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }
  // What arrives until the server closes or `wait` passes without a byte.
  std::string Answer(std::chrono::milliseconds wait = std::chrono::milliseconds(5000)) {
    std::string text;
    char buffer[65536];
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, static_cast<int>(wait.count())) > 0) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }
  // Whether anything (an answer or the close) has arrived, without waiting.
  bool Answered() {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }

 private:
  int fd_;
  bool connected_ = false;
};

int StatusOf(const std::string& answer) {
  return answer.starts_with("HTTP/1.1 ") && answer.size() >= 12 ? std::stoi(answer.substr(9, 3))
                                                                : 0;
}

std::string BodyOf(const std::string& answer) {
  const auto end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

std::string HeaderOf(const std::string& answer, const std::string& name) {
  const auto at = answer.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "";
  const auto start = at + name.size() + 4;
  return answer.substr(start, answer.find("\r\n", start) - start);
}

std::string Get(const Running& server, const std::string& path, const std::string& headers = "") {
  Raw raw(server.Port());
  raw.Send("GET " + path + " HTTP/1.1\r\nHost: " + server.Host() + "\r\nConnection: close\r\n" +
           headers + "\r\n");
  return raw.Answer();
}

std::string NewSession(const Running& server) {
  auto c = server.Client();
  const auto r = c.Post("/api/sessions");
  EXPECT_TRUE(r && r->status == 201) << (r ? r->body : "no answer");
  return r ? json::parse(r->body).at("session").get<std::string>() : "";
}

// The server still serves the API.
void ExpectServing(const Running& server) {
  auto c = server.Client();
  const auto r = c.Get("/api/model");
  ASSERT_TRUE(r) << "the server does not answer";
  EXPECT_EQ(r->status, 200);
}

}  // namespace

// ---------------------------------------------------------------------------

// Who may ask: loopback names and the bound address with the server's port;
// pages of the server itself; the token, compared whole.
TEST(ServeAccess, HostOriginAndTokenAreCheckedByTheRules) {
  const pierhost::Access loopback{"127.0.0.1", 8080, "abc"};
  for (const std::string host :
       {"127.0.0.1:8080", "localhost:8080", "LOCALHOST:8080", "[::1]:8080", "127.1.2.3:8080"}) {
    EXPECT_TRUE(pierhost::HostAllowed(host, loopback)) << host;
  }
  for (const std::string host :
       {"evil.example:8080", "127.0.0.1:8081", "127.0.0.1", "", "localhost.evil.example:8080",
        "127.0.0.1:80:8080", "[::1:8080", "192.168.1.5:8080", "127.0.0.1:8080x"}) {
    EXPECT_FALSE(pierhost::HostAllowed(host, loopback)) << host;
  }
  const pierhost::Access everywhere{"0.0.0.0", 8080, "abc"};
  EXPECT_TRUE(pierhost::HostAllowed("192.168.1.5:8080", everywhere));
  EXPECT_FALSE(pierhost::HostAllowed("rebound.evil.example:8080", everywhere));
  const pierhost::Access bound{"10.0.0.7", 80, "abc"};
  EXPECT_TRUE(pierhost::HostAllowed("10.0.0.7", bound));
  EXPECT_FALSE(pierhost::HostAllowed("10.0.0.8", bound));

  EXPECT_TRUE(pierhost::OriginAllowed("http://127.0.0.1:8080", loopback));
  EXPECT_TRUE(pierhost::OriginAllowed("http://localhost:8080", loopback));
  for (const std::string origin :
       {"null", "http://evil.example:8080", "https://127.0.0.1:8080", "http://127.0.0.1:9999",
        "http://127.0.0.1:8080/x", "http://evil@127.0.0.1:8080", ""}) {
    EXPECT_FALSE(pierhost::OriginAllowed(origin, loopback)) << origin;
  }

  EXPECT_TRUE(pierhost::TokenMatches("abc", "abc"));
  for (const std::string guess : {"", "ab", "abd", "abcd", "ABC"}) {
    EXPECT_FALSE(pierhost::TokenMatches(guess, "abc")) << guess;
  }
  EXPECT_FALSE(pierhost::TokenMatches("", ""));
  const std::string token = pierhost::NewToken();
  EXPECT_EQ(token.size(), 32u);
  EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(token, pierhost::NewToken());
}

// No token, another site's page, another name for the server: refused
// before anything is done, and 20 such requests leave the sessions free.
TEST(ServeHostile, ForeignPagesAndRequestsWithoutTheTokenAreRefused) {
  pierhost::ServeOptions options;
  options.max_sessions = 2;
  Running server(options);
  const std::string token = "Authorization: Bearer " + server.Token() + "\r\n";
  struct Case {
    std::string request;
    int status;
    std::string says;
  };
  const std::string port = std::to_string(server.Port());
  const std::vector<Case> cases{
      {"GET /api/model HTTP/1.1\r\nHost: " + server.Host() + "\r\n", 401, "token"},
      {"GET /api/model HTTP/1.1\r\nHost: " + server.Host() + "\r\nAuthorization: Bearer 0000\r\n",
       401, "wrong token"},
      // DNS rebinding: another site's name pointed at this machine.
      {"GET /api/model HTTP/1.1\r\nHost: rebound.evil.example:" + port + "\r\n" + token, 403,
       "name of this machine"},
      {"GET / HTTP/1.1\r\nHost: rebound.evil.example:" + port + "\r\n", 403,
       "name of this machine"},
      {"GET /api/model HTTP/1.1\r\n" + token, 403, "name of this machine"},
      {"POST /api/sessions HTTP/1.1\r\nHost: " + server.Host() +
           "\r\nOrigin: http://evil.example\r\nContent-Type: text/plain\r\nContent-Length: 0\r\n",
       403, "other sites"},
      {"POST /api/sessions HTTP/1.1\r\nHost: " + server.Host() + "\r\nOrigin: null\r\n" + token +
           "Content-Length: 0\r\n",
       403, "other sites"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request);
    Raw raw(server.Port());
    raw.Send(c.request + "Connection: close\r\n\r\n");
    const std::string answer = raw.Answer();
    EXPECT_EQ(StatusOf(answer), c.status) << answer;
    EXPECT_NE(BodyOf(answer).find(c.says), std::string::npos) << answer;
  }
  // A page of another site posting away: no session is made.
  for (int i = 0; i < 20; ++i) {
    Raw raw(server.Port());
    raw.Send("POST /api/sessions HTTP/1.1\r\nHost: " + server.Host() +
             "\r\nOrigin: http://evil.example\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(StatusOf(raw.Answer()), 403);
  }
  NewSession(server);
  NewSession(server);
  // The page itself: its files without the token; the API with it, in the
  // header or (for downloads) in the address; its own origin.
  EXPECT_EQ(StatusOf(Get(server, "/")), 200);
  EXPECT_EQ(StatusOf(Get(server, "/api/model?token=" + server.Token())), 200);
  EXPECT_EQ(
      StatusOf(Get(server, "/api/model", token + "Origin: http://localhost:" + port + "\r\n")),
      200);
  const std::string page = Get(server, "/");
  EXPECT_EQ(HeaderOf(page, "X-Frame-Options"), "DENY") << page;
  EXPECT_EQ(HeaderOf(page, "Referrer-Policy"), "no-referrer") << page;
}

// 2,000 overlapping ranges used to make the server build each of them in
// memory: now a file is sent whole for several ranges, in part for one, and
// API answers ignore ranges.
TEST(ServeHostile, RangesAreHonouredOneAtATimeAndNeverMultiplied) {
  Running server;
  const std::string script = Get(server, "/app.js");
  ASSERT_EQ(StatusOf(script), 200);
  const std::string whole = BodyOf(script);
  ASSERT_EQ(whole.size(), 10000u);

  std::string many = "Range: bytes=0-9999";
  for (int i = 0; i < 700; ++i) many += ",0-9999";
  const std::string several = Get(server, "/app.js", many + "\r\n");
  EXPECT_EQ(StatusOf(several), 200);
  EXPECT_EQ(BodyOf(several), whole);

  const std::string one = Get(server, "/app.js", "Range: bytes=2-5\r\n");
  EXPECT_EQ(StatusOf(one), 206) << one;
  EXPECT_EQ(BodyOf(one), whole.substr(2, 4));
  EXPECT_EQ(HeaderOf(one, "Content-Range"), "bytes 2-5/10000");
  EXPECT_EQ(BodyOf(Get(server, "/app.js", "Range: bytes=-3\r\n")), whole.substr(9997));
  EXPECT_EQ(BodyOf(Get(server, "/app.js", "Range: bytes=9990-99999\r\n")), whole.substr(9990));
  const std::string beyond = Get(server, "/app.js", "Range: bytes=20000-\r\n");
  EXPECT_EQ(StatusOf(beyond), 416);
  EXPECT_EQ(HeaderOf(beyond, "Content-Range"), "bytes */10000");

  const std::string model =
      Get(server, "/api/model",
          "Authorization: Bearer " + server.Token() + "\r\nRange: bytes=0-0,0-0,0-0\r\n");
  EXPECT_EQ(StatusOf(model), 200);
  EXPECT_FALSE(json::parse(BodyOf(model), nullptr, false).is_discarded());
  // Only the page's own files: no way out of its folder, no hidden files.
  for (const std::string path : {"/../two_storey.json", "/%2e%2e/x", "/.hidden", "/nothing.js"}) {
    EXPECT_EQ(StatusOf(Get(server, path)), 404) << path;
  }
  ExpectServing(server);
}

// A body nesting 30,000 lists deep overflowed the stack when the refusal
// wrote it back; now it is refused before it is parsed, and no refusal
// writes back a list or an object of the request.
TEST(ServeHostile, DeepNestingIsRefusedAndNeverEchoed) {
  Running server;
  auto c = server.Client();
  const std::string s = NewSession(server);
  const std::string events = "/api/sessions/" + s + "/events";
  const std::string deep = std::string(30000, '[') + std::string(30000, ']');
  const auto nested = c.Post(events.c_str(), deep, "application/json");
  ASSERT_TRUE(nested) << "the server went away";
  EXPECT_EQ(nested->status, 400);
  EXPECT_NE(nested->body.find("more than 4 deep"), std::string::npos) << nested->body;
  const std::string wide = R"({"type": "click", "element": [[["x", "secret"]]]})";
  const auto shaped = c.Post(events.c_str(), wide, "application/json");
  ASSERT_TRUE(shaped);
  EXPECT_EQ(shaped->status, 400);
  EXPECT_NE(shaped->body.find("must be a string, got a list"), std::string::npos) << shaped->body;
  EXPECT_EQ(shaped->body.find("secret"), std::string::npos) << shaped->body;
  // A number beyond double was a 500 (found by the fuzzer of event bodies).
  const auto huge = c.Post(events.c_str(), "1e999", "application/json");
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->status, 400) << huge->body;
  EXPECT_NE(huge->body.find("not JSON"), std::string::npos) << huge->body;
  const auto wrapped =
      c.Post(events.c_str(), R"({"type": "button", "event": 4294968296})", "application/json");
  ASSERT_TRUE(wrapped);
  EXPECT_EQ(wrapped->status, 400);
  EXPECT_NE(wrapped->body.find("out of range"), std::string::npos) << wrapped->body;
  ExpectServing(server);
}

// Every body is bounded however it arrives: a chunked body is cut off at
// the limit with 413, not buffered whole.
TEST(ServeHostile, ChunkedBodiesAreBoundedLikeOthers) {
  Running server;
  const std::string s = NewSession(server);
  Raw raw(server.Port());
  ASSERT_TRUE(raw.Connected());
  raw.Send("POST /api/sessions/" + s + "/events HTTP/1.1\r\nHost: " + server.Host() +
           "\r\nAuthorization: Bearer " + server.Token() +
           "\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
  const std::string chunk(16 * 1024, ' ');
  std::size_t sent = 0;
  // Up to 64 MiB: the server must answer and close long before.
  while (sent < (std::size_t{64} << 20) && !raw.Answered()) {
    if (!raw.Send("4000\r\n" + chunk + "\r\n")) break;
    sent += chunk.size();
  }
  EXPECT_LT(sent, std::size_t{4} << 20) << "the server read " << sent << " bytes of the body";
  const std::string answer = raw.Answer();
  EXPECT_EQ(StatusOf(answer), 413) << answer.substr(0, 300);
  EXPECT_NE(BodyOf(answer).find("larger than"), std::string::npos) << answer.substr(0, 300);

  // A head that never ends is bounded too.
  Raw headers(server.Port());
  headers.Send("GET / HTTP/1.1\r\nHost: " + server.Host() + "\r\n");
  for (int i = 0; i < 2000 && headers.Send("X-Filler-" + std::to_string(i) + ": " +
                                           std::string(100, 'x') + "\r\n");
       ++i) {
    if (headers.Answered()) break;
  }
  EXPECT_NE(StatusOf(headers.Answer()), 200);
  ExpectServing(server);
}

// Clients that send a byte now and then keep a worker only until their
// request's time is up, and more connections are served than slow ones
// hold: the other clients are answered meanwhile.
TEST(ServeHostile, SlowClientsDoNotBlockOthers) {
  pierhost::ServeOptions options;
  options.request_timeout = std::chrono::milliseconds(1500);
  options.workers = 12;
  Running server(options);
  std::vector<std::unique_ptr<Raw>> slow;
  // As many as the workers of a server with 8 of them, which were all held.
  for (int i = 0; i < 8; ++i) {
    slow.push_back(std::make_unique<Raw>(server.Port()));
    slow.back()->Send("G");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto start = Clock::now();
  ExpectServing(server);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000))
      << "a client waited while slow ones held the workers";

  // More slow clients than workers: the others wait at most one request's time.
  for (int i = 0; i < 12; ++i) {
    slow.push_back(std::make_unique<Raw>(server.Port()));
    slow.back()->Send("G");
  }
  start = Clock::now();
  std::thread trickle([&] {
    for (int k = 0; k < 15; ++k) {
      for (auto& raw : slow) raw->Send("E");
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });
  ExpectServing(server);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3500));
  trickle.join();
  // The first slow ones were told why and let go.
  const std::string told = slow.front()->Answer(std::chrono::milliseconds(3000));
  EXPECT_EQ(StatusOf(told), 408) << told;
  EXPECT_NE(BodyOf(told).find("did not arrive whole within 1.5 s"), std::string::npos) << told;
}

// A session whose page went is freed once it has not come back for a while;
// one that comes back in time keeps its run.
TEST(ServeHostile, SessionsOfPagesThatWentAreFreed) {
  pierhost::ServeOptions options;
  options.max_sessions = 2;
  options.left_timeout = std::chrono::seconds(1);
  Running server(options);
  auto c = server.Client();
  const std::string gone = NewSession(server);
  const std::string back = NewSession(server);
  EXPECT_EQ(c.Post("/api/sessions")->status, 503);
  EXPECT_EQ(c.Post(("/api/sessions/" + gone + "/leave").c_str())->status, 204);
  EXPECT_EQ(c.Post(("/api/sessions/" + back + "/leave").c_str())->status, 204);
  // The page that was only reloaded asks again at once.
  EXPECT_EQ(c.Get(("/api/sessions/" + back).c_str())->status, 200);
  std::this_thread::sleep_for(std::chrono::milliseconds(1300));
  EXPECT_EQ(c.Post("/api/sessions")->status, 201);
  EXPECT_EQ(c.Get(("/api/sessions/" + gone).c_str())->status, 404);
  EXPECT_EQ(c.Get(("/api/sessions/" + back).c_str())->status, 200);
}

// Cages are told apart by their columns and number: an id holding " #"
// drawn again, in the same run and in a new one, is numbered on.
TEST(ServeHostile, IdsThatLookLikeCageNumbersDoNotBreakTheSession) {
  const fs::path model = Scratch() / "hash.json";
  std::ofstream(model) << R"({"format": "pier-model", "version": 1, "name": "hash", "columns": [
      {"id": "C #1", "corners": [[0, 0], [300, 0], [300, 300], [0, 300]], "bottom": 0, "top": 3000}]})";
  pierhost::ServeOptions options;
  options.model = model.string();
  Running server(options);
  auto c = server.Client();
  const std::string s = NewSession(server);
  const std::string events = "/api/sessions/" + s + "/events";
  const auto send = [&](const std::string& body) {
    const auto r = c.Post(events.c_str(), body, "application/json");
    EXPECT_TRUE(r && r->status == 200) << (r ? r->body : "no answer");
    return r ? json::parse(r->body) : json();
  };
  const std::string draw = R"([{"type": "click", "element": "C #1"},
      {"type": "button", "event": 1000}, {"type": "move"}, {"type": "button", "event": 2000}])";
  send(draw);
  send(R"([{"type": "button", "event": 2000}])");
  EXPECT_EQ(c.Post(("/api/sessions/" + s + "/run").c_str())->status, 200);
  const json state = send(draw);
  std::vector<std::string> names;
  for (const auto& cage : state.at("created").at("cages")) names.push_back(cage.at("name"));
  EXPECT_EQ(names, (std::vector<std::string>{"\"C #1\"", "\"C #1\" #2", "\"C #1\" #3"}));
  EXPECT_EQ(c.Get(("/api/sessions/" + s + "/files/schedule.csv").c_str())->status, 200);
}
