// pierhost serve: the tool in a browser. A local web server hands out one
// page (the model in 3D, the tool's palette, the preview cage) and a small
// JSON API behind it; every browser session drives its own run of the tool
// with the same events as every other run (docs/api.md).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "app/driver.h"

namespace pierhost {

class Terminal;

struct ServeOptions {
  std::string model;                           // building model: a model file (JSON) or IFC
  bool all_columns = false;                    // IFC: every column, not only concrete ones
  std::string host = "127.0.0.1";              // address to bind; loopback unless told otherwise
  int port = 8080;                             // 0: any free port
  std::string web_dir;                         // the page's folder: index.html, app.js, style.css
  std::size_t max_sessions = 16;               // browser sessions held at once
  std::chrono::seconds idle_timeout{30 * 60};  // a session unused this long is dropped
  std::chrono::seconds left_timeout{15};       // a session whose page went, unless it comes back
  std::size_t max_request_bytes = 64 * 1024;   // larger request bodies are refused (413)
  // A request must arrive whole within this time (else 408), however slowly
  // its client sends it.
  std::chrono::milliseconds request_timeout{10'000};
  std::size_t workers = 32;  // connections served at once; more wait for a worker
  std::string token;         // what the API needs; empty: a new random one
};

// The page's folder of a build: <build>/web beside <build>/app, where the
// program is.
std::string DefaultWebDir(const std::string& argv0);

class WebServer {
 public:
  // Reads the model, loads the plug-in and checks the page's folder; any of
  // them missing is an error naming it.
  WebServer(ServeOptions options, const ToolLocation& tool);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds the listening socket; returns the port (the free one picked for
  // port 0). An address in use is an error naming it.
  int Bind();
  // Serves requests on a pool of threads until Stop(); call after Bind().
  void Listen();
  // Makes Listen() return; safe from any thread.
  void Stop();
  // http://host:port/?token=... once bound: the page's address with the
  // token that the API needs.
  std::string Url() const;
  const std::string& Token() const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The serve command: serves until SIGINT or SIGTERM. Returns the exit status.
int RunServe(const ServeOptions& options, const ToolLocation& tool, Terminal& terminal);

}  // namespace pierhost
