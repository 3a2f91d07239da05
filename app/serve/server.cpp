#include "app/serve/server.h"

#include <httplib.h>
#include <pthread.h>
#include <sys/stat.h>
#include <zlib.h>

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <tuple>

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
  const std::string range = header.substr(kUnit.size());
  const auto dash = range.find('-');
  if (dash == std::string::npos || range.find_first_not_of("0123456789-") != std::string::npos ||
      range.find('-', dash + 1) != std::string::npos) {
    return std::nullopt;
  }
  const std::string first = range.substr(0, dash), last = range.substr(dash + 1);
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

// A cage's id in a path or a parameter.
int CageId(const std::string& text) {
  int id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || id <= 0) {
    throw api::Error(400, "a cage is named by its id, a whole number above 0, not '" +
                              EscapeControls(text.substr(0, 40)) + "'");
  }
  return id;
}

// Whether the request's Accept-Encoding takes gzip ("gzip", "gzip;q=0.8",
// not "gzip;q=0").
bool AcceptsGzip(const std::string& header) {
  std::size_t start = 0;
  while (start <= header.size()) {
    const auto end = std::min(header.find(',', start), header.size());
    std::string item = header.substr(start, end - start);
    start = end + 1;
    item.erase(0, item.find_first_not_of(" \t"));
    const auto semi = item.find(';');
    std::string name = item.substr(0, semi);
    name.erase(name.find_last_not_of(" \t") + 1);
    if (name != "gzip" && name != "*") continue;
    if (semi == std::string::npos) return true;
    const auto q = item.find("q=", semi);
    return q == std::string::npos || std::strtod(item.c_str() + q + 2, nullptr) > 0;
  }
  return false;
}

std::string Gzip(const std::string& data) {
  z_stream zs{};
  // 15 + 16: a gzip wrapper around the deflate stream.
  if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("zlib could not start compressing");
  }
  std::string out(deflateBound(&zs, data.size()), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (status != Z_STREAM_END) throw std::runtime_error("zlib could not compress a page file");
  return out;
}

// Types the server compresses itself: httplib leaves them alone (it
// compresses text/* on its own), and they are what the page mostly is.
bool CompressedHere(const std::string& type) {
  return type.starts_with("application/javascript") || type.starts_with("application/json") ||
         type.starts_with("image/svg+xml");
}

// The page's files compressed once per version of each (its size and time).
class GzipCache {
 public:
  std::shared_ptr<const std::string> Get(const std::string& path, const std::string& body) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::make_shared<const std::string>(Gzip(body));
    const auto key = std::make_tuple(static_cast<long long>(st.st_size),
                                     static_cast<long long>(st.st_mtim.tv_sec),
                                     static_cast<long long>(st.st_mtim.tv_nsec));
    {
      std::lock_guard lock(mutex_);
      const auto it = entries_.find(path);
      if (it != entries_.end() && it->second.first == key &&
          static_cast<long long>(body.size()) == std::get<0>(key)) {
        return it->second.second;
      }
    }
    auto zipped = std::make_shared<const std::string>(Gzip(body));
    std::lock_guard lock(mutex_);
    entries_[path] = {key, zipped};
    return zipped;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::pair<std::tuple<long long, long long, long long>,
                                  std::shared_ptr<const std::string>>>
      entries_;
};

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
  // A session and its own lock.
  struct Slot {
    std::mutex mutex;
    std::unique_ptr<api::WebSession> session;
  };
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
  const std::shared_ptr<Slot>& Find(const std::string& id) {
    DropIdle();
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) {
      throw api::Error(404, "there is no session '" + id + "': it was closed, expired after " +
                                std::to_string(options_.idle_timeout.count()) +
                                " s unused, or never existed");
    }
    it->second->session->last_used = Clock::now();
    it->second->session->left.reset();
    return it->second;
  }

  // The session of that id, locked for the request that holds it. The
  // table's lock is held only to find it; a session dropped from the table
  // meanwhile lives on until its last request lets go.
  class Held {
   public:
    explicit Held(std::shared_ptr<Slot> slot) : slot_(std::move(slot)), lock_(slot_->mutex) {}
    api::WebSession& operator*() const { return *slot_->session; }
    void unlock() { lock_.unlock(); }

   private:
    std::shared_ptr<Slot> slot_;
    std::unique_lock<std::mutex> lock_;
  };
  Held Open(const std::string& id) {
    std::shared_ptr<Slot> slot;
    {
      std::lock_guard table(mutex_);
      slot = Find(id);
    }
    return Held(std::move(slot));
  }

  void DropIdle() {
    const auto now = Clock::now();
    std::erase_if(sessions_, [&](const auto& entry) {
      const api::WebSession& s = *entry.second->session;
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
    // A range is of the file itself; a whole file goes compressed where the
    // browser takes it (the script is a tenth of its size so).
    res.set_header("Vary", "Accept-Encoding");
    if (CompressedHere(type) && body.size() > 1024 &&
        AcceptsGzip(req.get_header_value("Accept-Encoding"))) {
      const auto zipped = gzip_.Get(file.string(), body);
      res.set_header("Content-Encoding", "gzip");
      res.set_content(*zipped, type.c_str());
      return;
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
                 const auto full = [this] {
                   DropIdle();
                   if (sessions_.size() < options_.max_sessions) return;
                   throw api::Error(
                       503,
                       "the server holds " + std::to_string(sessions_.size()) +
                           " sessions, its most: close another tab, or wait until one has been "
                           "unused for " +
                           std::to_string(options_.idle_timeout.count()) + " s");
                 };
                 {
                   std::lock_guard table(mutex_);
                   full();
                 }
                 timing.Lap("lock");
                 // The run starts outside the table's lock: other sessions go on.
                 const std::string id = NewToken();
                 auto slot = std::make_shared<Slot>();
                 slot->session = std::make_unique<api::WebSession>(
                     id, [this] { return NewRun(); }, model_);
                 timing.Lap("tool");
                 json state = api::StateJson(*slot->session, {}, true);
                 {
                   std::lock_guard table(mutex_);
                   full();
                   sessions_.emplace(id, std::move(slot));
                 }
                 timing.Lap("state");
                 SendJson(res, 201, state, &timing);
               }));

    const std::string session = R"(/api/sessions/([^/]+))";
    http_.Get(session,
              Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                Held held = Open(req.matches[1]);
                timing.Lap("lock");
                json state = api::StateJson(*held, {}, true);
                held.unlock();
                timing.Lap("state");
                SendJson(res, 200, state, &timing);
              }));

    http_.Delete(session,
                 Guard([this](const httplib::Request& req, httplib::Response& res, Timing&) {
                   std::lock_guard lock(mutex_);
                   Find(req.matches[1]);
                   sessions_.erase(std::string(req.matches[1]));
                   res.status = 204;
                 }));

    // The page says it goes (closed, reloaded, navigated away): unless it
    // comes back soon, its session's place is freed.
    http_.Post(session + "/leave",
               Guard([this](const httplib::Request& req, httplib::Response& res, Timing&) {
                 std::lock_guard lock(mutex_);
                 Find(req.matches[1])->session->left = Clock::now();
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
                 Held held = Open(req.matches[1]);
                 timing.Lap("lock");
                 api::WebSession& s = *held;
                 s.Begin();
                 // The page's choice for a Draw on columns that have a cage:
                 // it replaces that cage.
                 if (req.has_param("replace")) s.Replace(CageId(req.get_param_value("replace")));
                 for (std::size_t i = 0; i < events.size(); ++i) {
                   try {
                     s.Apply(events[i]);
                   } catch (const std::exception& e) {
                     // The tool refused: the events before stay applied, and
                     // the answer shows the state they left.
                     s.Check();
                     timing.Lap("tool");
                     json body = {{"error", e.what()},
                                  {"event", i},
                                  {"state", api::StateJson(s, s.Since(), false)}};
                     if (const auto* refused = dynamic_cast<const FieldRefused*>(&e)) {
                       // The field's own words: its label, the value, the limit.
                       body["error"] = refused->Refusal();
                       body["field"] = refused->Name();
                     }
                     // The tool's own error: for a developer, not the user.
                     if (dynamic_cast<const ToolFailure*>(&e)) body["tool"] = true;
                     held.unlock();
                     timing.Lap("state");
                     SendJson(res, 422, body, &timing);
                     return;
                   }
                 }
                 s.Check();
                 timing.Lap("tool");
                 json state = api::StateJson(s, s.Since(), false);
                 held.unlock();
                 timing.Lap("state");
                 SendJson(res, 200, state, &timing);
               }));

    http_.Post(session + "/run",
               Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                 Held held = Open(req.matches[1]);
                 timing.Lap("lock");
                 api::WebSession& s = *held;
                 s.NewRun();
                 s.Check();
                 timing.Lap("tool");
                 json state = api::StateJson(s, s.Since(), true);
                 held.unlock();
                 timing.Lap("state");
                 SendJson(res, 200, state, &timing);
               }));

    // The created cages' history, and a cage deleted or opened again. Each
    // answers with the state, as events do.
    using Change = std::function<void(api::WebSession&, const httplib::Request&)>;
    const auto change = [this](Change what, bool full) {
      return Guard([this, what = std::move(what), full](const httplib::Request& req,
                                                        httplib::Response& res, Timing& timing) {
        Held held = Open(req.matches[1]);
        timing.Lap("lock");
        api::WebSession& s = *held;
        s.Begin();
        what(s, req);
        s.Check();
        timing.Lap("tool");
        json state = api::StateJson(s, s.Since(), full);
        held.unlock();
        timing.Lap("state");
        SendJson(res, 200, state, &timing);
      });
    };
    http_.Post(session + "/undo",
               change([](api::WebSession& s, const httplib::Request&) { s.Undo(); }, false));
    http_.Post(session + "/redo",
               change([](api::WebSession& s, const httplib::Request&) { s.Redo(); }, false));
    http_.Delete(session + "/cages/([^/]+)",
                 change([](api::WebSession& s,
                           const httplib::Request& req) { s.Delete(CageId(req.matches[2])); },
                        false));
    http_.Post(session + "/cages/([^/]+)/edit",
               change([](api::WebSession& s,
                         const httplib::Request& req) { s.Edit(CageId(req.matches[2])); },
                      true));

    http_.Get(session + "/schedule",
              Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                Held held = Open(req.matches[1]);
                timing.Lap("lock");
                json schedule = api::ScheduleJson(*held, model_);
                held.unlock();
                timing.Lap("state");
                SendJson(res, 200, schedule, &timing);
              }));

    http_.Get(session + "/created",
              Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                Held held = Open(req.matches[1]);
                timing.Lap("lock");
                json created = api::CreatedJson(*held);
                held.unlock();
                timing.Lap("state");
                SendJson(res, 200, created, &timing);
              }));

    http_.Get(session + "/files/([^/]+)",
              Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
                // The cages are copied under the session's lock; the files
                // are made outside it.
                std::vector<CageRecord> cages;
                {
                  Held held = Open(req.matches[1]);
                  timing.Lap("lock");
                  cages = (*held).AllCages();
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
  GzipCache gzip_;
  Access access_;
  int port_ = -1;
  // A session's run is confined to one thread at a time: each session has
  // its own lock, held while a request works on it, so that requests of
  // distinct sessions run at once. mutex_ guards the table of sessions only.
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Slot>> sessions_;
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
