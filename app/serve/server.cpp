#include "app/serve/server.h"

#include <httplib.h>
#include <pthread.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "app/building.h"
#include "app/commands.h"
#include "app/export/text.h"
#include "app/serve/access.h"
#include "app/serve/api.h"
#include "app/serve/guarded_http.h"
#include "app/terminal.h"
#include "host/file_read.h"
#include "host/model_reader.h"

namespace pierhost {

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::string DefaultWebDir(const std::string& argv0) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) self = fs::absolute(argv0);
  // The program sits in <build>/app, the page in <build>/web.
  return (self.parent_path().parent_path() / "web").string();
}

namespace {

// httplib compresses answers of some content types (application/json,
// image/svg+xml, application/javascript, text/*) with brotli at its slowest
// setting whenever the browser accepts it: some 20 ms for a small answer and
// a second for the page's script, far more than the answer costs to send on
// this machine. Those types with their charset are not compressed.
constexpr const char* kJson = "application/json; charset=utf-8";

// The parts of one request's time, sent as a Server-Timing header so that
// the page can tell its own share from the server's.
class Timing {
 public:
  explicit Timing(Clock::time_point start) : start_(start), last_(start) {}
  // Closes the part that ran since the previous one.
  void Lap(const char* name) {
    const auto now = Clock::now();
    parts_.emplace_back(name, Ms(now - last_));
    last_ = now;
  }
  std::string Header() const {
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(3);
    for (const auto& [name, ms] : parts_) out << name << ";dur=" << ms << ", ";
    out << "total;dur=" << Ms(Clock::now() - start_);
    return out.str();
  }

 private:
  static double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
  }
  Clock::time_point start_;
  Clock::time_point last_;
  std::vector<std::pair<const char*, double>> parts_;
};

void SendJson(httplib::Response& res, int status, const json& body, Timing* timing = nullptr) {
  res.status = status;
  res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), kJson);
  if (timing) timing->Lap("dump");
}

void SendError(httplib::Response& res, int status, const std::string& message) {
  SendJson(res, status, {{"error", message}});
}

// The page's files: what the web folder holds, nothing else. A path is a
// list of plain names (no "..", no hidden files).
std::optional<std::string> PageFile(const std::string& path) {
  std::string relative = path == "/" ? "index.html" : path.substr(1);
  std::size_t start = 0;
  while (start <= relative.size()) {
    const auto end = std::min(relative.find('/', start), relative.size());
    const std::string part = relative.substr(start, end - start);
    if (part.empty() || part.front() == '.' ||
        part.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") !=
            std::string::npos) {
      return std::nullopt;
    }
    start = end + 1;
  }
  return relative;
}

std::string PageType(const std::string& file) {
  const std::string ext = fs::path(file).extension().string();
  if (ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".js" || ext == ".mjs") return "application/javascript; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".json" || ext == ".map") return kJson;
  if (ext == ".svg") return "image/svg+xml; charset=utf-8";
  if (ext == ".png") return "image/png";
  if (ext == ".ico") return "image/x-icon";
  return "application/octet-stream";
}

// One byte range of a file of `size` bytes, as a Range header asks for it:
// "bytes=FIRST-LAST", "bytes=FIRST-" or "bytes=-SUFFIX". Several ranges, or
// a header that is not one of those, give none: the whole file is sent, as
// a server may. An empty range (beyond the end) is {size, size}.
std::optional<std::pair<std::size_t, std::size_t>> OneRange(const std::string& header,
                                                            std::size_t size) {
  constexpr std::string_view kUnit = "bytes=";
  if (!header.starts_with(kUnit)) return std::nullopt;
  const std::string spec = header.substr(kUnit.size());
  const auto dash = spec.find('-');
  if (dash == std::string::npos || spec.find_first_not_of("0123456789-") != std::string::npos ||
      spec.find('-', dash + 1) != std::string::npos) {
    return std::nullopt;
  }
  const std::string first = spec.substr(0, dash), last = spec.substr(dash + 1);
  if ((first.empty() && last.empty()) || first.size() > 15 || last.size() > 15) return std::nullopt;
  if (first.empty()) {  // the last bytes
    const std::size_t suffix = std::stoull(last);
    if (suffix == 0) return std::pair{size, size};
    return std::pair{size - std::min(suffix, size), size};
  }
  const std::size_t from = std::stoull(first);
  std::size_t to = last.empty() ? size : std::stoull(last) + 1;
  if (!last.empty() && to <= from) return std::nullopt;
  if (from >= size) return std::pair{size, size};
  to = std::min(to, size);
  return std::pair{from, to};
}

// The model with the upper column of each stack aligned on the lower one, as
// the building run has it, so that a pair picked in the page gives the cage
// `building` gives it.
std::shared_ptr<const HostElementAdapter::ElementModel> ReadAligned(const ServeOptions& options) {
  const auto model =
      HostElementAdapter::ReadModel(options.model, {.all_columns = options.all_columns});
  const auto above = FindStacks(*model).above;
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t i = 0; i < above.size(); ++i) {
    if (above[i]) pairs.emplace_back(i, *above[i]);
  }
  return HostElementAdapter::AlignStacked(model, pairs);
}

}  // namespace

class WebServer::Impl {
 public:
  Impl(ServeOptions options, const ToolLocation& tool)
      : options_(std::move(options)),
        model_(ReadAligned(options_)),
        plugin_(HostUtil::PluginModule::Load(tool.module_path)),
        tool_path_(tool.tool_path),
        model_json_(api::ModelJson(*model_).dump()),
        http_(Limits(options_), options_.workers) {
    access_.bound_host = options_.host;
    access_.token = options_.token.empty() ? NewToken() : options_.token;
    for (const char* file : {"index.html", "app.js"}) {
      if (!fs::is_regular_file(fs::path(options_.web_dir) / file)) {
        throw std::runtime_error(
            "the page's folder " + options_.web_dir + " has no " + file +
            ": build the page with `cmake --build <build> --target pier_web` (after `npm ci` "
            "in web/), or name its folder with --web");
      }
    }
    Routes();
  }

  int Bind() {
    port_ = options_.port == 0
                ? http_.bind_to_any_port(options_.host)
                : (http_.bind_to_port(options_.host, options_.port) ? options_.port : -1);
    if (port_ < 0) {
      throw std::runtime_error(
          "cannot listen on " + options_.host + ":" + std::to_string(options_.port) +
          ": the address is in use or not this machine's; choose another with --port or --host");
    }
    access_.port = port_;
    return port_;
  }
  void Listen() { http_.listen_after_bind(); }
  void Stop() { http_.stop(); }
  std::string Url() const {
    const bool v6 = options_.host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + options_.host + "]" : options_.host) + ":" +
           std::to_string(port_) + "/?token=" + access_.token;
  }
  const std::string& Token() const { return access_.token; }

 private:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&, Timing&)>;

  // Every request is answered, whatever goes wrong inside: API refusals with
  // their status, anything else with 500; the server goes on.
  httplib::Server::Handler Guard(Handler handler) {
    return [handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
      Timing timing(Clock::now());
      try {
        handler(req, res, timing);
      } catch (const api::Error& e) {
        SendError(res, e.Status(), e.what());
      } catch (const std::bad_alloc&) {
        SendError(res, 503, "the server ran out of memory for this request");
      } catch (const std::exception& e) {
        SendError(res, 500, std::string("the server failed: ") + e.what());
      } catch (...) {
        SendError(res, 500, "the server failed with an unknown error");
      }
      res.set_header("Server-Timing", timing.Header());
    };
  }

  static ConnectionLimits Limits(const ServeOptions& options) {
    ConnectionLimits limits;
    limits.request_time = options.request_timeout;
    // The body's own limit, and room for the head and a chunked body's framing.
    limits.request_bytes = options.max_request_bytes + 64 * 1024;
    return limits;
  }

  std::string FaultMessage(RequestFault fault) const {
    if (fault == RequestFault::TooLarge) {
      return "the request body is larger than " + std::to_string(options_.max_request_bytes) +
             " bytes";
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g",
                  static_cast<double>(options_.request_timeout.count()) / 1000);
    return std::string("the request did not arrive whole within ") + seconds + " s";
  }

  // The session of that id, marked as used (a page that went and came back
  // keeps it); the caller holds mutex_.
  api::WebSession& Find(const std::string& id) {
    DropIdle();
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) {
      throw api::Error(404, "there is no session '" + id + "': it was closed, expired after " +
                                std::to_string(options_.idle_timeout.count()) +
                                " s unused, or never existed");
    }
    it->second->last_used = Clock::now();
    it->second->left.reset();
    return *it->second;
  }

  void DropIdle() {
    const auto now = Clock::now();
    std::erase_if(sessions_, [&](const auto& entry) {
      const api::WebSession& s = *entry.second;
      return now - s.last_used > options_.idle_timeout ||
             (s.left && now - *s.left > options_.left_timeout);
    });
  }

  // Every request names this server by a name of this machine, comes from
  // its own page if from a page at all, and brings the token if it is for
  // the API (docs/api.md).
  bool Refused(const httplib::Request& req, httplib::Response& res) {
    const auto refuse = [&](int status, const std::string& message) {
      // Its body, if any, is left unread: the connection goes.
      CloseConnectionAfterAnswer();
      SendError(res, status, message);
      return true;
    };
    const std::string host = req.get_header_value("Host");
    if (!HostAllowed(host, access_)) {
      return refuse(403, "this server answers only requests to it by a name of this machine ('" +
                             EscapeControls(host.substr(0, 100)) + "' is not one): open " +
                             Url().substr(0, Url().find('?')));
    }
    if (req.has_header("Origin") && !OriginAllowed(req.get_header_value("Origin"), access_)) {
      return refuse(403, "requests from pages of other sites are refused (Origin '" +
                             EscapeControls(req.get_header_value("Origin").substr(0, 100)) + "')");
    }
    if (!req.path.starts_with("/api/")) return false;
    std::string token = req.get_param_value("token");
    const std::string authorization = req.get_header_value("Authorization");
    if (authorization.starts_with("Bearer ")) token = authorization.substr(7);
    if (!TokenMatches(token, access_.token)) {
      res.set_header("WWW-Authenticate", "Bearer");
      return refuse(401,
                    std::string(token.empty() ? "the API needs" : "a wrong token; the API needs") +
                        " the server's token: open the address that pierhost serve printed, "
                        "which ends in ?token=");
    }
    return false;
  }

  // The page's files, from its folder as it is now; one byte range of a
  // file is honoured, several are answered with the whole file.
  void PageFileAnswer(const httplib::Request& req, httplib::Response& res) {
    const auto relative = PageFile(req.path);
    std::string body;
    const fs::path file = fs::path(options_.web_dir) / relative.value_or("");
    if (!relative || !fs::is_regular_file(file)) {
      throw api::Error(404, "no such resource: " + req.method + " " + req.path);
    }
    body = HostUtil::ReadRegularFile(file.string(), "page file", std::uintmax_t{64} << 20);
    res.set_header("Cache-Control", "no-cache");
    res.set_header("Accept-Ranges", "bytes");
    const std::string type = PageType(file.string());
    if (req.has_header("Range")) {
      if (const auto range = OneRange(req.get_header_value("Range"), body.size())) {
        const auto [from, to] = *range;
        if (from >= to) {
          res.status = 416;
          res.set_header("Content-Range", "bytes */" + std::to_string(body.size()));
          res.set_content("", type.c_str());
          return;
        }
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                            std::to_string(to - 1) + "/" +
                                            std::to_string(body.size()));
        res.set_content(body.substr(from, to - from), type.c_str());
        return;
      }
    }
    res.set_content(body, type.c_str());
  }

  std::unique_ptr<ToolRun> NewRun() {
    return std::make_unique<ToolRun>(plugin_, model_, tool_path_);
  }

  void Routes() {
    http_.set_payload_max_length(options_.max_request_bytes);
    // Headers and body go out as separate writes: without this, each answer
    // waits for the client's delayed acknowledgement (some 40 ms).
    http_.set_tcp_nodelay(true);
    // httplib's default also sets SO_REUSEPORT, with which a second server
    // on the same port starts and takes half of the first one's requests.
    http_.set_socket_options([](socket_t sock) {
      const int yes = 1;
      ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http_.SetFaultBody([this](RequestFault fault) {
      return json{{"error", FaultMessage(fault)}}.dump();
    });
    // No other site may frame the page, read its answers or learn its
    // address (which carries the token) from a link.
    http_.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                               {"X-Frame-Options", "DENY"},
                               {"Content-Security-Policy", "frame-ancestors 'none'"},
                               {"Cross-Origin-Resource-Policy", "same-origin"},
                               {"Referrer-Policy", "no-referrer"}});
    http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      return Refused(req, res) ? httplib::Server::HandlerResponse::Handled
                               : httplib::Server::HandlerResponse::Unhandled;
    });
    // Answers httplib gives by itself (no route, a body too large) get a JSON
    // message like every other refusal.
    http_.set_error_handler(httplib::Server::HandlerWithResponse([this](const httplib::Request& req,
                                                                        httplib::Response& res) {
      if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
      std::string message = "no such resource: " + req.method + " " + req.path;
      // Requests the connection's limits cut short.
      if (CurrentRequestFault() == RequestFault::TooLarge) res.status = 413;
      if (CurrentRequestFault() == RequestFault::TooSlow) {
        res.status = 408;
        message = FaultMessage(RequestFault::TooSlow);
      }
      if (res.status == 413) {
        message = FaultMessage(RequestFault::TooLarge);
      } else if (res.status == 400) {
        message =
            "the request could not be read (a POST needs a Content-Length header, 0 for no body)";
      } else if (res.status != 404) {
        message = "the request was refused (" + std::to_string(res.status) + ")";
      }
      SendError(res, res.status, message);
      return httplib::Server::HandlerResponse::Handled;
    }));
    http_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
          SendError(res, 500, "the server failed while answering");
        });

    http_.Get("/api/model", Guard([this](const httplib::Request&, httplib::Response& res, Timing&) {
                res.set_content(model_json_, kJson);
              }));

    http_.Post("/api/sessions",
               Guard([this](const httplib::Request&, httplib::Response& res, Timing& timing) {
                 std::unique_lock lock(mutex_);
                 timing.Lap("lock");
                 DropIdle();
                 if (sessions_.size() >= options_.max_sessions) {
                   throw api::Error(
                       503,
                       "the server holds " + std::to_string(sessions_.size()) +
                           " sessions, its most: close another tab, or wait until one has been "
                           "unused for " +
                           std::to_string(options_.idle_timeout.count()) + " s");
                 }
                 auto session = std::make_unique<api::WebSession>();
                 session->id = NewToken();
                 session->run = NewRun();
                 session->last_used = Clock::now();
                 timing.Lap("tool");
                 json state = api::StateJson(*session, {}, true);
                 sessions_.emplace(session->id, std::move(session));
                 lock.unlock();
                 timing.Lap("state");
                 SendJson(res, 201, state, &timing);
               }));

    const std::string session = R"(/api/sessions/([^/]+))";
    http_.Get(session,
              Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                std::unique_lock lock(mutex_);
                timing.Lap("lock");
                json state = api::StateJson(Find(req.matches[1]), {}, true);
                lock.unlock();
                timing.Lap("state");
                SendJson(res, 200, state, &timing);
              }));

    http_.Delete(session,
                 Guard([this](const httplib::Request& req, httplib::Response& res, Timing&) {
                   std::lock_guard lock(mutex_);
                   Find(req.matches[1]);
                   sessions_.erase(req.matches[1]);
                   res.status = 204;
                 }));

    // The page says it goes (closed, reloaded, navigated away): unless it
    // comes back soon, its session's place is freed.
    http_.Post(session + "/leave",
               Guard([this](const httplib::Request& req, httplib::Response& res, Timing&) {
                 std::lock_guard lock(mutex_);
                 Find(req.matches[1]).left = Clock::now();
                 res.status = 204;
               }));

    http_.Post(session + "/events",
               Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                 // A chunked body is bounded by the connection's limit only.
                 if (req.body.size() > options_.max_request_bytes) {
                   throw api::Error(413, "the request body is larger than " +
                                             std::to_string(options_.max_request_bytes) + " bytes");
                 }
                 const std::vector<api::Event> events = api::ParseEvents(req.body);
                 std::unique_lock lock(mutex_);
                 timing.Lap("lock");
                 api::WebSession& s = Find(req.matches[1]);
                 const api::Marks before = api::Mark(*s.run);
                 for (std::size_t i = 0; i < events.size(); ++i) {
                   try {
                     api::Apply(*s.run, events[i]);
                   } catch (const std::exception& e) {
                     // The tool refused: the events before stay applied, and
                     // the answer shows the state they left.
                     timing.Lap("tool");
                     json body = {{"error", e.what()},
                                  {"event", i},
                                  {"state", api::StateJson(s, before, false)}};
                     lock.unlock();
                     timing.Lap("state");
                     SendJson(res, 422, body, &timing);
                     return;
                   }
                 }
                 timing.Lap("tool");
                 json state = api::StateJson(s, before, false);
                 lock.unlock();
                 timing.Lap("state");
                 SendJson(res, 200, state, &timing);
               }));

    http_.Post(session + "/run",
               Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                 std::unique_lock lock(mutex_);
                 timing.Lap("lock");
                 api::WebSession& s = Find(req.matches[1]);
                 auto run = NewRun();
                 s.earlier_cages = s.AllCages();
                 s.run = std::move(run);
                 ++s.run_number;
                 timing.Lap("tool");
                 json state = api::StateJson(s, {}, true);
                 lock.unlock();
                 timing.Lap("state");
                 SendJson(res, 200, state, &timing);
               }));

    http_.Get(session + "/created",
              Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                std::unique_lock lock(mutex_);
                timing.Lap("lock");
                json created = api::CreatedJson(Find(req.matches[1]));
                lock.unlock();
                timing.Lap("state");
                SendJson(res, 200, created, &timing);
              }));

    http_.Get(session + "/files/([^/]+)",
              Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                // The cages are copied under the lock; the files are made
                // outside it, so that other sessions are not held up.
                std::vector<CageRecord> cages;
                {
                  std::lock_guard lock(mutex_);
                  timing.Lap("lock");
                  cages = Find(req.matches[1]).AllCages();
                }
                const api::File file = api::ExportFile(cages, model_, req.matches[2]);
                timing.Lap("export");
                res.set_header("Content-Disposition",
                               "attachment; filename=\"" + std::string(req.matches[2]) + "\"");
                res.set_content(file.body, file.content_type.c_str());
              }));

    // Everything else is the page: its files, read from its folder.
    http_.Get("/(?!api/).*", Guard([this](const httplib::Request& req, httplib::Response& res,
                                          Timing&) { PageFileAnswer(req, res); }));
  }

  ServeOptions options_;
  std::shared_ptr<const HostElementAdapter::ElementModel> model_;
  HostUtil::PluginModule plugin_;
  std::string tool_path_;
  std::string model_json_;
  GuardedHttpServer http_;
  Access access_;
  int port_ = -1;
  // The tool is written for one thread: every call into any run, and the
  // table of sessions, goes through this one lock.
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<api::WebSession>> sessions_;
};

WebServer::WebServer(ServeOptions options, const ToolLocation& tool)
    : impl_(std::make_unique<Impl>(std::move(options), tool)) {}
WebServer::~WebServer() = default;
int WebServer::Bind() { return impl_->Bind(); }
void WebServer::Listen() { impl_->Listen(); }
void WebServer::Stop() { impl_->Stop(); }
std::string WebServer::Url() const { return impl_->Url(); }
const std::string& WebServer::Token() const { return impl_->Token(); }

int RunServe(const ServeOptions& options, const ToolLocation& tool, Terminal& terminal) {
  // SIGINT and SIGTERM go to one thread that stops the server; the server's
  // own threads, started below, inherit the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  WebServer server(options, tool);
  server.Bind();
  terminal.Note("pierhost serve: " + options.model + " at " + server.Url());
  terminal.Note("open it in a browser; Ctrl+C stops the server");
  terminal.Out().flush();
  std::atomic<bool> signalled = false;
  std::thread waiter([&] {
    int signal = 0;
    sigwait(&stop_signals, &signal);
    signalled = true;
    server.Stop();
  });
  server.Listen();
  // Listen returned on its own, not stopped by a signal: a failure of the
  // server. The waiter is woken either way.
  const bool stopped_by_user = signalled;
  if (!stopped_by_user) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (!stopped_by_user) {
    terminal.Error("pierhost serve: the server stopped listening on " + server.Url());
    return kExitFailed;
  }
  terminal.Note("pierhost serve: stopped");
  return kExitCreated;
}

}  // namespace pierhost
