#include "app/serve/server.h"

#include <httplib.h>
#include <pthread.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "app/building.h"
#include "app/serve/api.h"
#include "app/terminal.h"
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

std::string NewSessionId() {
  static std::random_device device;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  char text[33];
  for (int i = 0; i < 4; ++i)
    std::snprintf(text + 8 * i, 9, "%08x", static_cast<unsigned>(device()));
  return text;
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
        model_json_(api::ModelJson(*model_).dump()) {
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
    return port_;
  }
  void Listen() { http_.listen_after_bind(); }
  void Stop() { http_.stop(); }
  std::string Url() const {
    const bool v6 = options_.host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + options_.host + "]" : options_.host) + ":" +
           std::to_string(port_) + "/";
  }

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

  // The session of that id, marked as used; the caller holds mutex_.
  api::WebSession& Find(const std::string& id) {
    DropIdle();
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) {
      throw api::Error(404, "there is no session '" + id + "': it was closed, expired after " +
                                std::to_string(options_.idle_timeout.count()) +
                                " s unused, or never existed");
    }
    it->second->last_used = Clock::now();
    return *it->second;
  }

  void DropIdle() {
    const auto now = Clock::now();
    std::erase_if(sessions_, [&](const auto& entry) {
      return now - entry.second->last_used > options_.idle_timeout;
    });
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
    http_.set_mount_point("/", options_.web_dir, {{"Cache-Control", "no-cache"}});
    http_.set_file_extension_and_mimetype_mapping("js", "application/javascript; charset=utf-8");
    http_.set_file_extension_and_mimetype_mapping("map", kJson);
    // Answers httplib gives by itself (no route, a body too large) get a JSON
    // message like every other refusal.
    http_.set_error_handler(httplib::Server::HandlerWithResponse([this](const httplib::Request& req,
                                                                        httplib::Response& res) {
      if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
      std::string message = "no such resource: " + req.method + " " + req.path;
      if (res.status == 413) {
        message = "the request body is larger than " + std::to_string(options_.max_request_bytes) +
                  " bytes";
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
                 session->id = NewSessionId();
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

    http_.Post(session + "/events",
               Guard([this](const httplib::Request& req, httplib::Response& res, Timing& timing) {
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
  }

  ServeOptions options_;
  std::shared_ptr<const HostElementAdapter::ElementModel> model_;
  HostUtil::PluginModule plugin_;
  std::string tool_path_;
  std::string model_json_;
  httplib::Server http_;
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
  // Listen returned on its own: wake the waiter.
  if (!signalled) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  terminal.Note("pierhost serve: stopped");
  return 0;
}

}  // namespace pierhost
