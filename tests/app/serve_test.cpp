// The API of pierhost serve, against a server running in this process on a
// free port, talked to over HTTP as the page does.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "app/serve/api.h"
#include "app/serve/server.h"
#include "host/model_reader.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const fs::path kExample = fs::path(PIER_SOURCE_DIR) / "examples" / "two_storey.json";
const pierhost::ToolLocation kTool{std::string(PIER_PLUGIN_DIR) + "/libpiertool.so", PIER_TOOL_DIR};
const std::string kMinMessage = "Main Column Rebar Diameter \u00D8min = 12 mm!";

// A page folder of its own: the server only needs its two files to exist.
fs::path PageFolder() {
  const fs::path dir =
      fs::temp_directory_path() / ("pier_serve_test_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "index.html") << "<!doctype html><title>page</title>";
  std::ofstream(dir / "app.js") << "// page";
  return dir;
}

class Running {
 public:
  explicit Running(pierhost::ServeOptions options = {}) {
    options.model = kExample.string();
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
  // A client as the page is: it has the server's token.
  httplib::Client Client() const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(30, 0);
    c.set_bearer_token_auth(server_->Token());
    return c;
  }
  int Port() const { return port_; }
  const std::string& Token() const { return server_->Token(); }

 private:
  std::unique_ptr<pierhost::WebServer> server_;
  int port_ = 0;
  std::thread thread_;
};

struct Answer {
  int status = 0;
  json body;
  std::string text;
  std::string timing;  // the Server-Timing header
};

Answer Ask(httplib::Client& c, const std::string& method, const std::string& path,
           const std::string& body = "") {
  httplib::Result r = method == "GET"      ? c.Get(path.c_str())
                      : method == "DELETE" ? c.Delete(path.c_str())
                                           : c.Post(path.c_str(), body, "application/json");
  if (!r)
    throw std::runtime_error(method + " " + path + ": no answer (" + httplib::to_string(r.error()) +
                             ")");
  Answer a{r->status, json(), r->body, r->get_header_value("Server-Timing")};
  if (r->get_header_value("Content-Type").starts_with("application/json"))
    a.body = json::parse(r->body);
  return a;
}

// Sends events to a session and expects them to be taken.
json Send(httplib::Client& c, const std::string& session, const json& events) {
  const Answer a = Ask(c, "POST", "/api/sessions/" + session + "/events", events.dump());
  EXPECT_EQ(a.status, 200) << events.dump() << ": " << a.text;
  return a.body;
}

std::string NewSession(httplib::Client& c) {
  const Answer a = Ask(c, "POST", "/api/sessions");
  EXPECT_EQ(a.status, 201) << a.text;
  return a.body.at("session");
}

json Parameter(const json& state, const std::string& name) {
  for (const auto& page : state.at("palette").at("pages")) {
    for (const auto& p : page.at("parameters")) {
      if (p.at("name") == name) return p;
    }
  }
  return nullptr;
}

std::size_t BarsIn(const json& placements) {
  std::size_t n = 0;
  for (const auto& p : placements) n += p.at("bars").size();
  return n;
}

const json kFinish = json::array({{{"type", "button"}, {"event", 1000}}, {{"type", "move"}}});
const json kDraw = json::array({{{"type", "button"}, {"event", 2000}}});

json Pick(httplib::Client& c, const std::string& session, const std::vector<std::string>& ids) {
  for (const auto& id : ids) Send(c, session, {{"type", "click"}, {"element", id}});
  return Send(c, session, kFinish);
}

}  // namespace

// A run from pick to created bars, compared with the same events sent to a
// run of the tool directly; then the files of what was created.
TEST(ServeApi, RunFromPickToFilesMatchesTheToolDriven) {
  Running server;
  auto c = server.Client();
  const std::string s = NewSession(c);
  EXPECT_EQ(Ask(c, "GET", "/api/sessions/" + s).body.at("prompt"), "Select <Column>");

  const json finished = Pick(c, s, {"C1", "C2"});
  EXPECT_EQ(finished.at("picked"), json({"C1", "C2"}));
  EXPECT_EQ(finished.at("palette").at("file"), "cage_stacked.pal");
  EXPECT_EQ(finished.at("prompt"), "Customize rebars and finish by Draw button");
  EXPECT_EQ(Parameter(finished, "Concr_Grade").at("choices").at(3),
            json({{"value", 4}, {"text", "C25/30"}}));
  EXPECT_EQ(Parameter(finished, "Main_Diameter").at("unit"), "mm");

  const json edited =
      Send(c, s, {{{"type", "set"}, {"name", "Main_Diameter"}, {"value", 10}}, {{"type", "move"}}});
  EXPECT_EQ(edited.at("messages"), json({kMinMessage}));
  EXPECT_EQ(Parameter(edited, "Main_Diameter").at("value"), 12.0);
  ASSERT_TRUE(edited.at("preview").contains("placements"))
      << "the move after the edit redraws the preview";

  // The same events, straight to the tool.
  const auto model = HostElementAdapter::ReadModelFile(kExample.string());
  const auto plugin = HostUtil::PluginModule::Load(kTool.module_path);
  pierhost::ToolRun direct(plugin, model, kTool.tool_path);
  direct.Click("C1");
  direct.Click("C2");
  direct.Button(pierhost::kFinish);
  direct.Move();
  direct.Set("Main_Diameter", "10");
  direct.Move();
  const auto& preview = direct.Document().GetPreview();
  const json& placements = edited.at("preview").at("placements");
  ASSERT_EQ(placements.size(), preview.size());
  for (std::size_t i = 0; i < preview.size(); ++i) {
    EXPECT_EQ(placements[i].at("d"), preview[i].GetBendingShape().GetDiameter());
    const auto bars = preview[i].GetBars();
    ASSERT_EQ(placements[i].at("bars").size(), bars.size()) << "placement " << i;
    for (std::size_t b = 0; b < bars.size(); ++b) {
      const json& flat = placements[i].at("bars")[b];
      ASSERT_EQ(flat.size(), 3 * bars[b].size());
      for (std::size_t k = 0; k < bars[b].size(); ++k) {
        EXPECT_NEAR(flat[3 * k].get<double>(), bars[b][k].X(), 0.005);
        EXPECT_NEAR(flat[3 * k + 2].get<double>(), bars[b][k].Z(), 0.005);
      }
    }
  }
  EXPECT_EQ(edited.at("preview").at("bars"), BarsIn(placements));

  const json drawn = Send(c, s, kDraw);
  const std::size_t created = drawn.at("created").at("bars");
  EXPECT_EQ(created, BarsIn(placements));
  EXPECT_EQ(drawn.at("created").at("cages").at(0).at("name"), "C1+C2");
  const Answer bars = Ask(c, "GET", "/api/sessions/" + s + "/created");
  EXPECT_EQ(bars.body.at("bars"), created);
  EXPECT_EQ(BarsIn(bars.body.at("cages").at(0).at("placements")), created);
  EXPECT_NE(bars.timing.find("total;dur="), std::string::npos) << bars.timing;

  const std::vector<std::pair<std::string, std::string>> files{
      {"cage.ifc", "ISO-10303-21;"}, {"schedule.csv", ""},    {"drawing.svg", "<svg"},
      {"model.json", "{"},           {"schedule.xlsx", "PK"}, {"drawing.pdf", "%PDF"},
      {"bars.abs", "BF2D@"}};
  for (const auto& [name, start] : files) {
    const Answer file = Ask(c, "GET", "/api/sessions/" + s + "/files/" + name);
    EXPECT_EQ(file.status, 200) << name << ": " << file.text;
    EXPECT_FALSE(file.text.empty()) << name;
    EXPECT_NE(file.text.find(start), std::string::npos) << name;
  }
  EXPECT_EQ(Ask(c, "GET", "/api/sessions/" + s + "/files/cage.dwg").status, 404);
}

// Every refusal is a 4xx with a JSON message naming the fault, and the server
// goes on answering.
TEST(ServeApi, RefusesBadRequestsWithMessages) {
  pierhost::ServeOptions options;
  options.max_request_bytes = 4096;
  Running server(options);
  auto c = server.Client();
  const std::string s = NewSession(c);
  const std::string events = "/api/sessions/" + s + "/events";
  struct Case {
    std::string body;
    int status;
    std::string says;
  };
  const std::vector<Case> cases{
      {"{\"type\": ", 400, "not JSON"},
      {"42", 400, "event object or an array"},
      {"[]", 400, "no event"},
      {R"({"type": "jump"})", 400, "'jump' is none of"},
      {R"({"type": "click"})", 400, "lacks \"element\""},
      {R"({"type": "click", "element": 7})", 400, "must be a string"},
      {R"({"type": "set", "name": "Main_Diameter", "value": {}})", 400,
       "must be a number, a string"},
      {R"({"type": "move", "speed": 1})", 400, "unknown field \"speed\""},
      {R"([{"type": "move"}, {"type": "button", "event": "Draw"}])", 400, "events[1].event"},
      {R"({"type": "click", "element": "C9"})", 422, "no element 'C9'"},
      {R"({"type": "button", "event": 2000})", 422,
       "no palette shown has a button with event 2000"},
      {R"({"type": "set", "name": "Nope", "value": 1})", 422, "no parameter 'Nope'"},
      {std::string(5000, ' '), 413, "larger than 4096 bytes"},
  };
  for (const auto& k : cases) {
    const Answer a = Ask(c, "POST", events, k.body);
    EXPECT_EQ(a.status, k.status) << k.body.substr(0, 60) << " -> " << a.text;
    ASSERT_TRUE(a.body.is_object()) << k.body.substr(0, 60) << " -> " << a.text;
    EXPECT_NE(a.body.value("error", "").find(k.says), std::string::npos) << a.body.dump();
  }
  // A tool error leaves the events before it applied and says so.
  const Answer partly =
      Ask(c, "POST", events,
          R"([{"type": "click", "element": "C1"}, {"type": "click", "element": "X"}])");
  EXPECT_EQ(partly.status, 422);
  EXPECT_EQ(partly.body.at("event"), 1);
  EXPECT_EQ(partly.body.at("state").at("picked"), json({"C1"}));
  // A value the palette cannot hold is the tool's refusal too.
  Send(c, s, kFinish);
  const Answer typed =
      Ask(c, "POST", events, R"({"type": "set", "name": "Add_X_Number", "value": "two"})");
  EXPECT_EQ(typed.status, 422);
  EXPECT_NE(typed.body.value("error", "").find("Add_X_Number"), std::string::npos) << typed.text;

  EXPECT_EQ(Ask(c, "GET", "/api/sessions/" + s + "/files/cage.ifc").status, 409);
  EXPECT_EQ(Ask(c, "GET", "/api/sessions/nosuch").status, 404);
  EXPECT_EQ(Ask(c, "POST", "/api/sessions/nosuch/events", R"({"type": "move"})").status, 404);
  const Answer route = Ask(c, "GET", "/api/nothing");
  EXPECT_EQ(route.status, 404);
  EXPECT_NE(route.body.value("error", "").find("/api/nothing"), std::string::npos);
  EXPECT_EQ(Ask(c, "DELETE", "/api/sessions/" + s).status, 204);
  EXPECT_EQ(Ask(c, "POST", events, R"({"type": "move"})").status, 404);
  // Still serving: the model and the page.
  EXPECT_EQ(Ask(c, "GET", "/api/model").body.at("elements").size(), 9u);
  EXPECT_NE(Ask(c, "GET", "/").text.find("<title>page</title>"), std::string::npos);
}

// At most max_sessions at once; a session unused for the idle time is
// dropped and its place given to a new one.
TEST(ServeApi, BoundsSessionsAndDropsIdleOnes) {
  pierhost::ServeOptions options;
  options.max_sessions = 2;
  options.idle_timeout = std::chrono::seconds(1);
  Running server(options);
  auto c = server.Client();
  const std::string first = NewSession(c);
  NewSession(c);
  const Answer full = Ask(c, "POST", "/api/sessions");
  EXPECT_EQ(full.status, 503);
  EXPECT_NE(full.body.value("error", "").find("its most"), std::string::npos) << full.text;
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  NewSession(c);
  EXPECT_EQ(Ask(c, "GET", "/api/sessions/" + first).status, 404);
}

// Sessions driven at once from several clients each get what one run alone
// gets, their own messages included. (The calls into the tool are short, so
// a missing lock shows here only by chance.)
TEST(ServeApi, ConcurrentSessionsEachGetTheirOwnRun) {
  Running server;
  std::vector<std::size_t> created(4);
  std::vector<int> stray(created.size());
  std::vector<std::thread> clients;
  for (std::size_t i = 0; i < created.size(); ++i) {
    clients.emplace_back([&, i] {
      // An exception leaving a thread would end the whole test program.
      try {
        auto c = server.Client();
        const std::string s = NewSession(c);
        Pick(c, s, i % 2 ? std::vector<std::string>{"C5"} : std::vector<std::string>{"C1", "C2"});
        for (int k = 0; k < 30; ++k) {
          const bool small = k % 2 == 0;
          const json state =
              Send(c, s,
                   {{{"type", "set"}, {"name", "Main_Diameter"}, {"value", small ? 10 : 20}},
                    {{"type", "move"}}});
          stray[i] += state.at("messages") != (small ? json({kMinMessage}) : json::array());
        }
        created[i] = Send(c, s, kDraw).at("created").at("bars");
      } catch (const std::exception& e) {
        ADD_FAILURE() << "client " << i << ": " << e.what();
      }
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(stray, std::vector<int>(created.size(), 0))
      << "answers with another session's messages";
  EXPECT_GT(created[0], 0u);
  EXPECT_GT(created[1], 0u);
  EXPECT_EQ(created[2], created[0]);
  EXPECT_EQ(created[3], created[1]);
}

// A new run starts the tool again; the cages created before stay in the
// session and in its files, and the same columns drawn again are numbered.
TEST(ServeApi, NewRunKeepsTheCreatedCages) {
  Running server;
  auto c = server.Client();
  const std::string s = NewSession(c);
  Pick(c, s, {"C5"});
  const std::size_t first = Send(c, s, kDraw).at("created").at("bars");
  const Answer again = Ask(c, "POST", "/api/sessions/" + s + "/run");
  EXPECT_EQ(again.status, 200) << again.text;
  EXPECT_EQ(again.body.at("run"), 2);
  EXPECT_EQ(again.body.at("palette").at("file"), "Selection_rk.pal");
  EXPECT_EQ(again.body.at("created").at("bars"), first);
  Pick(c, s, {"C5"});
  const json drawn = Send(c, s, kDraw);
  EXPECT_EQ(drawn.at("created").at("bars"), 2 * first);
  std::vector<std::string> names;
  for (const auto& cage : drawn.at("created").at("cages")) names.push_back(cage.at("name"));
  EXPECT_EQ(names, (std::vector<std::string>{"C5", "C5 #2"}));
  const Answer schedule = Ask(c, "GET", "/api/sessions/" + s + "/files/schedule.csv");
  EXPECT_NE(schedule.text.find("C5 #2"), std::string::npos) << schedule.text.substr(0, 400);
}

namespace {

// A model far from the origin (an IFC model in its site's coordinates) is
// served about a point of its own, so that the page's single-precision
// drawing keeps its millimetres.
TEST(ServeApi, AModelFarOutIsServedAboutAPointOfItsOwn) {
  const auto near = HostElementAdapter::ElementModel::Builder("near")
                        .AddColumn("C", {{0, 0}, {300, 0}, {300, 300}, {0, 300}}, 0, 3000)
                        .Build();
  EXPECT_EQ(pierhost::api::ModelJson(*near)["origin"], json::array({0.0, 0.0, 0.0}));
  const auto far = HostElementAdapter::ElementModel::Builder("far")
                       .AddColumn("C",
                                  {{-33410.4, 104412.7},
                                   {-33110.4, 104412.7},
                                   {-33110.4, 104712.7},
                                   {-33410.4, 104712.7}},
                                  0, 3000)
                       .Build();
  const json model = pierhost::api::ModelJson(*far);
  EXPECT_EQ(model["origin"], json::array({-33000.0, 104000.0, 0.0}));
  EXPECT_NEAR(model["elements"][0]["vertices"][0].get<double>(), -410.4, 1e-9);
  EXPECT_NEAR(model["elements"][0]["vertices"][1].get<double>(), 412.7, 1e-9);
}

}  // namespace
