// The API of pierhost serve, against a server running in this process on a
// free port, talked to over HTTP as the page does.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
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
  explicit Running(pierhost::ServeOptions options = {},
                   const pierhost::ToolLocation& tool = kTool) {
    if (options.model.empty()) options.model = kExample.string();
    options.port = 0;
    options.web_dir = PageFolder().string();
    server_ = std::make_unique<pierhost::WebServer>(options, tool);
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
  // Named by its label for the page, and by its name for the field to mark.
  EXPECT_EQ(typed.body.value("error", ""), "Side bars per X face: 'two' is not a whole number")
      << typed.text;
  EXPECT_EQ(typed.body.value("field", ""), "Add_X_Number");

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

std::vector<std::string> CageNames(const json& state) {
  std::vector<std::string> names;
  for (const auto& cage : state.at("created").at("cages")) names.push_back(cage.at("name"));
  return names;
}

int CageIdOf(const json& state, const std::string& name) {
  for (const auto& cage : state.at("created").at("cages")) {
    if (cage.at("name") == name) return cage.at("id");
  }
  ADD_FAILURE() << "no cage " << name << " in " << state.at("created").dump();
  return 0;
}

std::string CheckState(const json& state, const std::string& id) {
  for (const auto& check : state.at("checks").at("checks")) {
    if (check.at("id") == id) return check.at("state");
  }
  return "missing";
}

json Edit(httplib::Client& c, const std::string& session, const std::string& name,
          const json& value) {
  return Send(c, session,
              {{{"type", "set"}, {"name", name}, {"value", value}}, {{"type", "move"}}});
}

}  // namespace

// Deleting a created cage, undoing and redoing: the list, the names, the
// bars and every output follow, and there is nothing to undo at the start.
TEST(ServeApi, CreatedCagesDeleteUndoAndRedoWithTheOutputsFollowing) {
  Running server;
  auto c = server.Client();
  const std::string s = NewSession(c);
  const std::string base = "/api/sessions/" + s;
  EXPECT_EQ(Ask(c, "POST", base + "/undo").status, 409);
  Pick(c, s, {"C5"});
  json state = Send(c, s, kDraw);
  const std::size_t single = state.at("created").at("bars");
  EXPECT_EQ(state.at("created").at("undo"), "Draw C5");
  Send(c, s, kDraw);  // the same column again: a second cage
  Ask(c, "POST", base + "/run");
  Pick(c, s, {"C1", "C2"});
  state = Send(c, s, kDraw);
  EXPECT_EQ(CageNames(state), (std::vector<std::string>{"C5", "C5 #2", "C1+C2"}));
  const std::size_t all = state.at("created").at("bars");

  // The first C5 goes: the second is C5 now, and the files hold two cages.
  Answer deleted = Ask(c, "DELETE", base + "/cages/" + std::to_string(CageIdOf(state, "C5")));
  ASSERT_EQ(deleted.status, 200) << deleted.text;
  EXPECT_EQ(CageNames(deleted.body), (std::vector<std::string>{"C5", "C1+C2"}));
  EXPECT_EQ(deleted.body.at("created").at("bars"), all - single);
  EXPECT_EQ(deleted.body.at("created").at("undo"), "Delete C5");
  const std::string schedule = Ask(c, "GET", base + "/files/schedule.csv").text;
  EXPECT_EQ(schedule.find("C5 #2"), std::string::npos) << schedule.substr(0, 300);
  EXPECT_EQ(Ask(c, "GET", base + "/created").body.at("bars"), all - single);
  const json members = Ask(c, "GET", base + "/schedule").body.at("members");
  ASSERT_EQ(members.size(), 3u) << members.dump();  // the headings, then a row per cage
  EXPECT_EQ(members.at(1).at(0), "C5");
  EXPECT_EQ(members.at(2).at(0), "C1+C2");

  Answer undone = Ask(c, "POST", base + "/undo");
  EXPECT_EQ(CageNames(undone.body), (std::vector<std::string>{"C5", "C5 #2", "C1+C2"}));
  EXPECT_EQ(undone.body.at("created").at("redo"), "Delete C5");
  undone = Ask(c, "POST", base + "/undo");  // the pair's Draw
  EXPECT_EQ(CageNames(undone.body), (std::vector<std::string>{"C5", "C5 #2"}));
  EXPECT_NE(Ask(c, "GET", base + "/files/model.json").text.find("C5 #2"), std::string::npos);
  const Answer redone = Ask(c, "POST", base + "/redo");
  EXPECT_EQ(CageNames(redone.body), (std::vector<std::string>{"C5", "C5 #2", "C1+C2"}));
  EXPECT_EQ(Ask(c, "GET", base + "/created").body.at("bars"), all);
  // A new step forgets what could be redone.
  Ask(c, "POST", base + "/undo");
  Ask(c, "DELETE", base + "/cages/" + std::to_string(CageIdOf(redone.body, "C5 #2")));
  EXPECT_EQ(Ask(c, "POST", base + "/redo").status, 409);
  EXPECT_EQ(Ask(c, "DELETE", base + "/cages/999").status, 404);
  EXPECT_EQ(Ask(c, "DELETE", base + "/cages/x").status, 400);
}

// A created cage opened again shows its own values; Draw replaces it in its
// place, and undo brings the old one back. A Draw told to replace a cage
// does the same from a run of its own.
TEST(ServeApi, CreatedCageEditedAgainIsReplacedAndUndoRestoresIt) {
  Running server;
  auto c = server.Client();
  const std::string s = NewSession(c);
  const std::string base = "/api/sessions/" + s;
  Pick(c, s, {"C1", "C2"});
  Edit(c, s, "Main_Diameter", 20);
  Edit(c, s, "Concr_Cover", 35);
  json state = Send(c, s, kDraw);
  const std::size_t with20 = state.at("created").at("bars");
  Ask(c, "POST", base + "/run");
  Pick(c, s, {"C5"});
  state = Send(c, s, kDraw);
  const int pair = CageIdOf(state, "C1+C2");

  const Answer opened = Ask(c, "POST", base + "/cages/" + std::to_string(pair) + "/edit");
  ASSERT_EQ(opened.status, 200) << opened.text;
  EXPECT_EQ(opened.body.at("picked"), json({"C1", "C2"}));
  EXPECT_EQ(Parameter(opened.body, "Main_Diameter").at("value"), 20.0);
  EXPECT_EQ(Parameter(opened.body, "Concr_Cover").at("value"), 35.0);
  EXPECT_EQ(opened.body.at("created").at("replacing"), pair);
  EXPECT_TRUE(opened.body.at("messages").empty()) << "filling in the palette is no news";
  EXPECT_EQ(opened.body.at("preview").at("bars"), with20);

  Edit(c, s, "Main_Diameter", 25);
  state = Send(c, s, kDraw);
  EXPECT_EQ(CageNames(state), (std::vector<std::string>{"C1+C2", "C5"})) << "in its place";
  EXPECT_EQ(state.at("created").at("undo"), "Replace C1+C2");
  const std::string ifc = Ask(c, "GET", base + "/files/cage.ifc").text;
  EXPECT_EQ(Ask(c, "GET", base + "/created").body.at("cages").size(), 2u);
  state = Ask(c, "POST", base + "/undo").body;
  EXPECT_EQ(CageIdOf(state, "C1+C2"), pair);
  EXPECT_EQ(state.at("created").at("bars"),
            with20 + state.at("created").at("cages").at(1).at("bars").get<std::size_t>());
  EXPECT_NE(Ask(c, "GET", base + "/files/cage.ifc").text, ifc);

  // From a run of its own: the Draw's answer to "this column has a cage".
  Ask(c, "POST", base + "/run");
  Pick(c, s, {"C5"});
  const int c5 = CageIdOf(state, "C5");
  const Answer replaced =
      Ask(c, "POST", base + "/events?replace=" + std::to_string(c5), kDraw.dump());
  EXPECT_EQ(CageNames(replaced.body), (std::vector<std::string>{"C1+C2", "C5"}));
  EXPECT_NE(CageIdOf(replaced.body, "C5"), c5);
  EXPECT_EQ(Ask(c, "POST", base + "/events?replace=77", kDraw.dump()).status, 404);
}

// What the page may not do with the picks: a click while a cage palette is
// open, a Finish with nothing, the upper column first, or a column that
// stands on none; a second click on a picked column unpicks it.
TEST(ServeApi, PicksAreCheckedAtFinishAndASecondClickUnpicks) {
  Running server;
  auto c = server.Client();
  const std::string s = NewSession(c);
  const std::string events = "/api/sessions/" + s + "/events";
  const auto refusal = [&](const json& body) {
    const Answer a = Ask(c, "POST", events, body.dump());
    EXPECT_EQ(a.status, 422) << a.text;
    return a.body.value("error", "");
  };
  const auto click = [](const std::string& id) { return json{{"type", "click"}, {"element", id}}; };
  EXPECT_NE(refusal(kFinish).find("Nothing is picked"), std::string::npos);
  Send(c, s, click("C2"));
  Send(c, s, click("C1"));
  EXPECT_EQ(refusal(kFinish), "C2 stands on C1: pick the lower column first, C1, then C2.");
  json state = Send(c, s, click("C2"));  // unpicked
  EXPECT_EQ(state.at("picked"), json({"C1"}));
  EXPECT_EQ(state.at("prompt"), "Select next <Column> or click Finish");
  Send(c, s, click("C5"));
  EXPECT_NE(refusal(kFinish).find("C5 does not stand on C1"), std::string::npos);
  Send(c, s, click("C5"));
  state = Send(c, s, click("C2"));
  EXPECT_EQ(state.at("picked"), json({"C1", "C2"}));
  state = Send(c, s, kFinish);
  EXPECT_EQ(state.at("palette").at("file"), "cage_stacked.pal");
  EXPECT_NE(refusal(click("C5")).find("a cage is being edited"), std::string::npos);
  // The refused click changed nothing: Draw makes the pair's cage.
  EXPECT_EQ(CageNames(Send(c, s, kDraw)), (std::vector<std::string>{"C1+C2"}));
}

// The cage being edited comes with its checks, its figures and its section;
// a blocking edit shows as blocked, and message boxes say how they weigh.
TEST(ServeApi, PreviewComesWithItsChecksFiguresAndSection) {
  Running server;
  auto c = server.Client();
  const std::string s = NewSession(c);
  json state = Pick(c, s, {"C5"});
  EXPECT_EQ(state.at("checks").at("state"), "warn");  // the slab above is thin for 16 mm bars
  EXPECT_EQ(CheckState(state, "anchorage"), "warn");
  EXPECT_EQ(CheckState(state, "spacing"), "pass");
  EXPECT_EQ(CheckState(state, "lap"), "missing") << "a single cage has no lap above";
  const json& figures = state.at("preview").at("figures");
  EXPECT_EQ(figures.at("bars"), state.at("preview").at("bars"));
  EXPECT_GT(figures.at("mass_kg").get<double>(), 10);
  // 4 corner bars of 16 and 1 + 1 side bars of 12 per X face, 2 + 2 per Y
  // face, in 300 x 300.
  const json& column = figures.at("columns").at(0);
  EXPECT_EQ(column.at("id"), "C5");
  EXPECT_EQ(column.at("bars"), 10);
  EXPECT_NEAR(column.at("ratio_percent").get<double>(), (4 * 201.06 + 6 * 113.1) / 90000 * 100,
              0.01);
  const std::string section = state.at("preview").at("section");
  for (const char* part : {"SECTION A-A", ">X</text>", ">Y</text>", "cover 30", ">300<"}) {
    EXPECT_NE(section.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(state.at("faces").at(0).at("sides").at(0).at("face"), "X");

  state = Edit(c, s, "Add_X_Number", 20);
  EXPECT_EQ(state.at("checks").at("state"), "block");
  EXPECT_EQ(CheckState(state, "spacing"), "block");
  EXPECT_TRUE(state.at("messages").empty()) << "the checks are no message boxes";
  state = Edit(c, s, "Add_X_Number", 1);
  EXPECT_EQ(state.at("checks").at("state"), "warn");
  state = Edit(c, s, "Main_Diameter", 10);
  EXPECT_EQ(state.at("message_kinds"), json({"note"}));
  Edit(c, s, "Add_X_Number", 20);
  state = Send(c, s, kDraw);
  ASSERT_FALSE(state.at("messages").empty());
  EXPECT_EQ(state.at("message_kinds").at(0), "block");
  EXPECT_EQ(state.at("lines").back().get<std::string>().rfind("created nothing: blocked by", 0),
            0u);
}

// The tool of a later run finds the bars created before, as a user's CAD
// model has them, and no longer those deleted: the links of a column on a
// reinforced one are denser over the laps of the bars from below.
TEST(ServeApi, LaterRunsSeeTheCreatedBarsAndNotTheDeletedOnes) {
  Running server;
  auto c = server.Client();
  const std::string s = NewSession(c);
  const std::string base = "/api/sessions/" + s;
  const std::size_t alone = Pick(c, s, {"C2"}).at("preview").at("bars");
  Ask(c, "POST", base + "/run");
  Pick(c, s, {"C1", "C2"});
  json state = Send(c, s, kDraw);
  const int pair = CageIdOf(state, "C1+C2");
  Ask(c, "POST", base + "/run");
  state = Pick(c, s, {"C2"});
  EXPECT_GT(state.at("preview").at("bars").get<std::size_t>(), alone)
      << "links over the laps of the bars from below";
  state = Ask(c, "DELETE", base + "/cages/" + std::to_string(pair)).body;
  EXPECT_EQ(state.at("preview").at("bars"), alone);
  state = Ask(c, "POST", base + "/undo").body;
  EXPECT_GT(state.at("preview").at("bars").get<std::size_t>(), alone);
}

// The page's script goes out compressed to a browser that takes gzip, whole
// otherwise, and a range of it is a range of the file itself.
TEST(ServeApi, PageScriptIsCompressedWhereTheBrowserTakesIt) {
  Running server;
  const fs::path folder = PageFolder();
  std::string script;
  for (int i = 0; i < 2000; ++i) script += "console.log('line " + std::to_string(i) + "');\n";
  std::ofstream(folder / "app.js") << script;
  httplib::Client c("127.0.0.1", server.Port());
  c.set_decompress(false);
  auto zipped = c.Get("/app.js", {{"Accept-Encoding", "gzip, deflate"}});
  ASSERT_TRUE(zipped);
  EXPECT_EQ(zipped->get_header_value("Content-Encoding"), "gzip");
  EXPECT_LT(zipped->body.size(), script.size() / 4);
  EXPECT_EQ(zipped->get_header_value("Vary"), "Accept-Encoding");
  c.set_decompress(true);
  auto unzipped = c.Get("/app.js", {{"Accept-Encoding", "gzip"}});
  ASSERT_TRUE(unzipped);
  EXPECT_EQ(unzipped->body, script);
  for (const char* refused : {"identity", "gzip;q=0", "br"}) {
    auto plain = c.Get("/app.js", {{"Accept-Encoding", refused}});
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->get_header_value("Content-Encoding"), "") << refused;
    EXPECT_EQ(plain->body, script) << refused;
  }
  auto range = c.Get("/app.js", {{"Accept-Encoding", "gzip"}, {"Range", "bytes=0-9"}});
  ASSERT_TRUE(range);
  EXPECT_EQ(range->status, 206);
  EXPECT_EQ(range->body, script.substr(0, 10));
  // A new version of the file is compressed anew.
  std::ofstream(folder / "app.js") << script << "// more\n";
  auto changed = c.Get("/app.js", {{"Accept-Encoding", "gzip"}});
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->body, script + "// more\n");
}

// Every finding the tool makes at the ends of every field's range lands on
// a check of its own, never under "Other checks": the list stays a list of
// the tool's checks as its texts change.
TEST(ServeApi, EveryFindingAtTheFieldsLimitsHasItsCheck) {
  Running server;
  auto c = server.Client();
  std::set<std::string> seen;
  for (const auto& picks :
       std::vector<std::vector<std::string>>{{"C5"}, {"C1", "C2"}, {"C3", "C4"}}) {
    const std::string s = NewSession(c);
    const json start = Pick(c, s, picks);
    for (const auto& page : start.at("palette").at("pages")) {
      for (const auto& p : page.at("parameters")) {
        std::vector<json> ends;
        for (const char* key : {"min", "max"}) {
          if (p.contains(key)) ends.push_back(p.at(key));
        }
        if (p.at("type") == "switch") ends.push_back(!p.at("value").get<bool>());
        if (!p.at("choices").empty()) {
          ends.push_back(p.at("choices").front().at("value"));
          ends.push_back(p.at("choices").back().at("value"));
        }
        for (const auto& value : ends) {
          const json state = Edit(c, s, p.at("name"), value);
          for (const auto& check : state.at("checks").at("checks")) {
            EXPECT_NE(check.at("id"), "other")
                << p.at("name") << " = " << value << ": " << check.at("findings").dump();
            if (check.at("state") != "pass") seen.insert(check.at("id"));
          }
        }
        Edit(c, s, p.at("name"), p.at("value"));
      }
    }
  }
  EXPECT_GE(seen.size(), 6u) << json(seen).dump();
}

// An error the tool raises is marked as the tool's, for the page to tell
// the user in its own words; the cage it could not build is not shown, and
// the checks say it cannot be built.
TEST(ServeApi, ToolErrorsAreMarkedAndLeaveNoCage) {
  // The tool's folder with the 20 mm row of a lap table blanked.
  const fs::path tool =
      fs::temp_directory_path() / ("pier_serve_tool_" + std::to_string(::getpid()));
  fs::remove_all(tool);
  fs::copy(PIER_TOOL_DIR, tool, fs::copy_options::recursive);
  {
    std::ifstream in(tool / "lap_length_for_tension.csv");
    std::ostringstream text;
    std::string line;
    while (std::getline(in, line))
      text << (line.rfind("20,", 0) == 0 ? "20" + std::string(14, ',') : line) << "\n";
    in.close();
    std::ofstream(tool / "lap_length_for_tension.csv") << text.str();
  }
  {
    Running server({}, {kTool.module_path, tool.string()});
    auto c = server.Client();
    const std::string s = NewSession(c);
    ASSERT_GT(Pick(c, s, {"C1", "C2"}).at("preview").at("bars").get<std::size_t>(), 0u);
    const Answer failed =
        Ask(c, "POST", "/api/sessions/" + s + "/events",
            json::array(
                {{{"type", "set"}, {"name", "Main_Diameter"}, {"value", 20}}, {{"type", "move"}}})
                .dump());
    EXPECT_EQ(failed.status, 422);
    EXPECT_EQ(failed.body.value("tool", false), true) << failed.text;
    EXPECT_FALSE(failed.body.contains("field"));
    const json& state = failed.body.at("state");
    EXPECT_EQ(state.at("checks").at("state"), "block");
    EXPECT_FALSE(state.at("checks").at("failures").empty());
    // The move after the refused edit never came: the next one shows no cage.
    const json moved = Send(c, s, {{"type", "move"}});
    EXPECT_EQ(moved.at("preview").at("bars"), 0);
    EXPECT_FALSE(moved.at("preview").contains("section"));
    const json back = Edit(c, s, "Main_Diameter", 16);
    EXPECT_GT(back.at("preview").at("bars").get<std::size_t>(), 0u);
    EXPECT_TRUE(back.at("checks").at("failures").empty());
  }
  fs::remove_all(tool);
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

namespace {

// Where the page draws a column's corners: its plan at its bottom, from the
// model's vertices.
std::set<std::pair<double, double>> Corners(const json& model, const std::string& id) {
  std::set<std::pair<double, double>> corners;
  for (const auto& e : model.at("elements")) {
    if (e.at("id") != id) continue;
    const auto& v = e.at("vertices");
    for (std::size_t i = 0; i + 2 < v.size(); i += 3) {
      corners.emplace(std::round(v[i].get<double>()), std::round(v[i + 1].get<double>()));
    }
  }
  return corners;
}

// The face markers of the picked columns lie on the corners the page draws,
// and the preview's bars inside them.
void ExpectFacesOnTheColumns(const json& model, const json& state) {
  ASSERT_FALSE(state.at("faces").empty());
  for (const auto& column : state.at("faces")) {
    const auto corners = Corners(model, column.at("column"));
    for (const auto& side : column.at("sides")) {
      const std::pair<double, double> from{std::round(side.at("from")[0].get<double>()),
                                           std::round(side.at("from")[1].get<double>())};
      EXPECT_TRUE(corners.count(from)) << column.at("column") << " " << side.dump();
    }
  }
  double low = 1e300, high = -1e300;
  for (const auto& c : Corners(model, state.at("faces")[0].at("column"))) {
    low = std::min(low, c.first);
    high = std::max(high, c.first);
  }
  const double x = state.at("preview").at("placements")[0].at("bars")[0][0];
  EXPECT_GT(x, low);
  EXPECT_LT(x, high);
}

}  // namespace

// The model given to serve may be an IFC file: its columns are drawn under
// their names, picked as the page picks them, and reinforced; cage.ifc lies
// over the source.
TEST(ServeApi, AnIfcModelIsServedAndReinforced) {
  pierhost::ServeOptions options;
  options.model = (fs::path(PIER_SOURCE_DIR) / "tests/data/ifc/ifc4_metres_mapped.ifc").string();
  Running server(options);
  auto c = server.Client();
  const json model = Ask(c, "GET", "/api/model").body;
  EXPECT_EQ(model.at("name"), "Mapped columns in metres");
  EXPECT_FALSE(Corners(model, "C1-up").empty());
  const std::string s = NewSession(c);
  const json finished = Pick(c, s, {"C1", "C1-up"});
  ExpectFacesOnTheColumns(model, finished);
  const json drawn = Send(c, s, kDraw);
  EXPECT_GT(drawn.at("created").at("bars").get<std::size_t>(), 0u);
  const std::string ifc = Ask(c, "GET", "/api/sessions/" + s + "/files/cage.ifc").text;
  EXPECT_TRUE(ifc.starts_with("ISO-10303-21;"));
  EXPECT_NE(ifc.find("0ColumnC1up___________"), std::string::npos) << "the cage names its column";
}

// A model far out is drawn about a point of its own, and so are the face
// markers and the bars: they stay on the columns the page draws.
TEST(ServeApi, AModelFarOutHasItsMarkersAndBarsOnItsColumns) {
  std::ifstream in(kExample);
  json source = json::parse(in);
  for (auto& column : source.at("columns")) {
    for (auto& corner : column.at("corners")) {
      corner[0] = corner[0].get<double>() + 2'345'000;
      corner[1] = corner[1].get<double>() - 1'250'000;
    }
  }
  for (auto& wall : source.at("walls")) {
    for (auto& end : wall.at("axis")) {
      end[0] = end[0].get<double>() + 2'345'000;
      end[1] = end[1].get<double>() - 1'250'000;
    }
  }
  const fs::path far = PageFolder() / "far.json";
  std::ofstream(far) << source.dump();
  pierhost::ServeOptions options;
  options.model = far.string();
  Running server(options);
  auto c = server.Client();
  const json model = Ask(c, "GET", "/api/model").body;
  EXPECT_EQ(model.at("origin"), json::array({2'345'000.0, -1'250'000.0, 0.0}));
  const std::string s = NewSession(c);
  ExpectFacesOnTheColumns(model, Pick(c, s, {"C5"}));
  const json created = Ask(c, "GET", "/api/sessions/" + s + "/created").body;
  EXPECT_TRUE(created.at("cages").empty());
  Send(c, s, kDraw);
  const json after = Ask(c, "GET", "/api/sessions/" + s + "/created").body;
  const double x = after.at("cages")[0].at("placements")[0].at("bars")[0][0];
  EXPECT_GT(x, 12'000);
  EXPECT_LT(x, 12'300);
}
