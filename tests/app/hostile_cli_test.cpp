// The bad-input and fault campaign against the pierhost program, kept as a
// test suite: hostile model and session files, hostile ids through every
// output, and the outputs under faults (links planted in the folder, failed
// renames, a file-size limit, kills at random moments, runs at once, a
// read-only folder). Each case runs the built program as a user would and
// asks for a clear refusal or a right result, and for an output folder that
// holds one whole set of outputs or the one it held before.
// The server's cases are in serve_hostile_test.cpp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/output_check.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::kOutputNames;
using testsupport::Listing;
using testsupport::OneSetOfOutputs;

namespace {

// The exit status of a run whose outputs could not be written.
constexpr int kOutputFailed = 4;

const fs::path kSource = PIER_SOURCE_DIR;
const fs::path kExample = kSource / "examples" / "two_storey.json";

struct Outcome {
  int status = -1;  // -1: the program did not exit (a crash or a kill)
  std::string output;
};

using support::Quote;
using support::Read;
using support::Write;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A model of the columns given as (id, x, bottom, top), 300 x 500 each.
std::string Columns(const std::vector<std::tuple<std::string, double, double, double>>& columns,
                    const std::string& name = "hostile") {
  json list = json::array();
  for (const auto& [id, x, bottom, top] : columns) {
    list.push_back({{"id", id},
                    {"corners", {{x, 0}, {x + 300, 0}, {x + 300, 500}, {x, 500}}},
                    {"bottom", bottom},
                    {"top", top}});
  }
  return json{{"format", "pier-model"}, {"version", 1}, {"name", name}, {"columns", list}}.dump();
}

// The four outputs, read through their links.
std::vector<std::string> OutputSet(const fs::path& dir) {
  std::vector<std::string> files;
  for (const auto& name : kOutputNames) files.push_back(Read(dir / name));
  return files;
}

class Campaign : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pierhost_campaign_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // Outputs comparable from run to run.
    ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  // Runs a shell command line in the test's folder; standard output and
  // error together.
  Outcome Shell(const std::string& command) const {
    const std::string line = "cd " + Quote(dir_.string()) + " && " + command + " 2>&1 </dev/null";
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) return {};
    Outcome out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.output.append(buffer, n);
    const int status = ::pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }

  // pierhost with `args`, after `prefix` (a limit, a tracer), never for more
  // than a minute: a hang is a fault like any other.
  Outcome Pierhost(const std::vector<std::string>& args, const std::string& prefix = "") const {
    std::string command = prefix + " timeout -s KILL 60 " + Quote(PIERHOST);
    for (const auto& a : args) command += " " + Quote(a);
    return Shell(command);
  }

  // Exit status 2 and a message naming each of `named`.
  static void ExpectRefused(const Outcome& run, const std::vector<std::string>& named,
                            int status = 2) {
    EXPECT_EQ(run.status, status) << run.output;
    EXPECT_NE(run.output.find("error"), std::string::npos) << run.output;
    for (const auto& n : named) {
      EXPECT_NE(run.output.find(n), std::string::npos) << "'" << n << "' in\n" << run.output;
    }
  }

  fs::path dir_;
};

// ---------------------------------------------------------------------------
// Model and session files.

// A folder, a device or a pipe given as a model, directly or through a
// session, is refused at once (a FIFO blocked for ever, /dev/zero read until
// memory ran out, a folder was "not valid JSON").
TEST_F(Campaign, SpecialFilesAreRefusedAtOnceNamingWhatTheyAre) {
  fs::create_directories(dir_ / "folder.json");
  ASSERT_EQ(::mkfifo((dir_ / "pipe.json").c_str(), 0600), 0);
  ExpectRefused(Pierhost({"cage", "/dev/zero", "--pick", "C1"}), {"/dev/zero", "is a device"});
  ExpectRefused(Pierhost({"building", "pipe.json"}), {"pipe.json", "is a pipe"});
  ExpectRefused(Pierhost({"run", "pipe.json"}), {"pipe.json", "is a pipe"});
  const auto session = [&](const std::string& model) {
    return json{
        {"format", "pier-session"}, {"version", 1}, {"model", model}, {"events", json::array()}}
        .dump();
  };
  for (const auto& [model, says] : std::vector<std::pair<std::string, std::string>>{
           {"folder.json", "is a folder, not a model file"},
           {"/dev/zero", "is a device, not a model file"},
           {"pipe.json", "is a pipe (FIFO), not a model file"}}) {
    SCOPED_TRACE(model);
    Write(dir_ / "session.json", session(model));
    ExpectRefused(Pierhost({"run", "session.json", "--out", "out"}), {model, says});
  }
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

// Text no model file holds: nesting 100,000 deep, bytes that are not UTF-8,
// a key twice.
TEST_F(Campaign, MalformedModelTextIsRefusedWithOneLine) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
      {std::string(100000, '[') + std::string(100000, ']'), {"m.json", "nested more than 64"}},
      {R"({"format": "pier-model", "version": 1, "name": "\xff\xfe"})",
       {"m.json", "not valid JSON"}},
      {R"({"format": "pier-model", "version": 1, "name": "a", "columns": [], "columns": []})",
       {"m.json", "\"columns\" is given twice"}},
      {R"({"format": "pier-model", "version": 1, "name": "a", "columns": [7]})",
       {"m.json", "columns[0]", "expected an object"}},
  };
  for (const auto& [text, named] : cases) {
    SCOPED_TRACE(named.back());
    Write(dir_ / "m.json", text);
    const auto run = Pierhost({"building", "m.json", "--out", "out"});
    ExpectRefused(run, named);
    EXPECT_EQ(Count(run.output, "\n"), 1u) << run.output;
  }
}

// Sizes no building has are refused when the model is read, naming the
// element and the limit; `building` no longer hangs on a column 1000 km
// wide.
TEST_F(Campaign, ImpossibleGeometryIsRefusedNamingTheElementAndTheLimit) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
      {Columns({{"C1", 0, 0, 0.001}}), {"column 'C1'", "0.001 mm", "100 mm to 100 m"}},
      {Columns({{"C1", 0, 0, 3000}, {"C2", 0, 3250, 3250.001}}),
       {"column 'C2'", "100 mm to 100 m"}},
      {R"({"format": "pier-model", "version": 1, "name": "m", "columns": [{"id": "BIG",
          "corners": [[0, 0], [1e9, 0], [1e9, 1e9], [0, 1e9]], "bottom": 0, "top": 3000}]})",
       {"column 'BIG'", "1e+09 mm", "50 mm to 20 m"}},
      {R"({"format": "pier-model", "version": 1, "name": "m", "columns": [{"id": "FAR",
          "corners": [[1e308, 0], [1e308, 300], [-1e308, 300], [-1e308, 0]], "bottom": 0,
          "top": 3000}]})",
       {"column 'FAR'", "10000 km"}},
  };
  for (const auto& [text, named] : cases) {
    SCOPED_TRACE(named.front());
    Write(dir_ / "m.json", text);
    ExpectRefused(Pierhost({"building", "m.json", "--out", "out"}), named);
    ExpectRefused(Pierhost({"cage", "m.json", "--pick", "C1", "--out", "out"}), named);
  }
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

// ---------------------------------------------------------------------------
// Hostile ids through every output.

// Ids with escape sequences, formulas, 100,000 characters, "+" and " #":
// the run goes through, every cage has a name of its own, and each output
// holds the ids as it can.
TEST_F(Campaign, HostileIdsReachEveryOutputAsItCanHoldThem) {
  const std::string escape = "\x1b[2J\x1b]0;pwned\x07";
  const std::string formula = "=cmd|' /C calc'!A0";
  const std::string longest(100000, 'L');
  Write(dir_ / "m.json", Columns({{"A", 0, 0, 3000},
                                  {"B", 0, 3250, 6250},
                                  {"A+B", 2000, 0, 3000},
                                  {escape, 4000, 0, 3000},
                                  {longest, 6000, 0, 3000},
                                  {"C #1", 8000, 0, 3000}},
                                 "name \x1b[31mred"));
  const auto run = Pierhost({"building", "m.json", "--out", "out"});
  ASSERT_EQ(run.status, 0) << run.output.substr(0, 2000);
  EXPECT_TRUE(OneSetOfOutputs(dir_ / "out"));

  // The terminal: no escape sequence gets through, it is shown escaped.
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
  EXPECT_EQ(run.output.find('\x07'), std::string::npos);
  EXPECT_NE(run.output.find("\\x1b[2J\\x1b]0;pwned\\x07"), std::string::npos);

  // Names: the pair A, B and the column A+B are two cages.
  const json model = json::parse(Read(dir_ / "out" / "model.json"));
  std::vector<std::string> names;
  for (const auto& cage : model.at("cages")) names.push_back(cage.at("name"));
  EXPECT_NE(std::find(names.begin(), names.end(), "A+B"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "\"A+B\""), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "\"C #1\""), names.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());

  // The drawing is XML: no character XML 1.0 refuses.
  const std::string svg = Read(dir_ / "out" / "drawing.svg");
  for (const char ch : svg) {
    const auto c = static_cast<unsigned char>(ch);
    ASSERT_TRUE(c >= 0x20 || c == '\n' || c == '\r' || c == '\t') << "byte " << int{c};
  }
  // The sheet names its group by its first member (the schedule's member
  // table names them all); the project's name shows its escapes.
  EXPECT_NE(svg.find("name \\x1b[31mred"), std::string::npos);

  // The IFC: names and tags of at most 255 characters, the long id whole
  // in the description; every GlobalId once.
  const std::string ifc = Read(dir_ / "out" / "cage.ifc");
  // A STEP string starting at text[at] ('...', quotes doubled) without its
  // quotes; `at` moves past it.
  const auto step_string = [&](std::size_t& at) {
    std::string value;
    for (++at; at < ifc.size(); ++at) {
      if (ifc[at] == '\'' && (at + 1 >= ifc.size() || ifc[at + 1] != '\'')) break;
      if (ifc[at] == '\'') ++at;
      value += ifc[at];
    }
    ++at;
    return value;
  };
  bool long_seen = false;
  for (auto at = ifc.find("IFCCOLUMN('"); at != std::string::npos;
       at = ifc.find("IFCCOLUMN('", at)) {
    at += std::string("IFCCOLUMN('").size() + 22 + 4;  // GlobalId',$,
    const std::string name = step_string(at);
    ++at;  // ,
    const std::string description = ifc[at] == '$' ? "" : step_string(at);
    EXPECT_LE(name.size(), 255u + 40) << "a label longer than 255 characters";
    if (name.starts_with("LLLL")) {
      long_seen = true;
      EXPECT_EQ(name.size(), 255u);
      EXPECT_EQ(description, longest);
    }
  }
  EXPECT_TRUE(long_seen);
  std::set<std::string> ids;
  const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
  for (auto at = ifc.find("('"); at != std::string::npos; at = ifc.find("('", at + 1)) {
    const std::string id = ifc.substr(at + 2, 22);
    if (id.size() == 22 && id.find_first_not_of(alphabet) == std::string::npos &&
        ifc.compare(at + 24, 2, "',") == 0) {
      EXPECT_TRUE(ids.insert(id).second) << "GlobalId " << id << " twice";
    }
  }
  EXPECT_GT(ids.size(), 10u);
}

// A cell a spreadsheet would run as a formula is written as text; numbers
// stay numbers.
TEST_F(Campaign, ScheduleCellsAreNeverFormulas) {
  for (const std::string id : {"=cmd|' /C calc'!A0", "-2-3", "@SUM(1)", "+1+1"}) {
    SCOPED_TRACE(id);
    Write(dir_ / "m.json", Columns({{id, 0, 0, 3000}}));
    const auto run = Pierhost({"cage", "m.json", "--pick", id, "--out", "out"});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string csv = Read(dir_ / "out" / "schedule.csv");
    std::istringstream lines(csv);
    std::string line;
    while (std::getline(lines, line)) {
      std::size_t start = 0;
      while (start <= line.size()) {
        auto end = line.find(',', start);
        if (end == std::string::npos) end = line.size();
        std::string cell = line.substr(start, end - start);
        if (cell.starts_with("\"")) cell = cell.substr(1);
        ASSERT_TRUE(cell.empty() || std::string("=+@\t").find(cell[0]) == std::string::npos ||
                    cell.find_first_not_of("0123456789.+-") == std::string::npos)
            << "the cell " << cell << " in\n"
            << csv;
        start = end + 1;
      }
    }
    // An id holding "+" is quoted in the cage's name, which starts the cell.
    if (id.find('+') == std::string::npos) {
      EXPECT_NE(csv.find("'" + id.substr(0, 4)), std::string::npos) << csv;
    }
  }
}

// ---------------------------------------------------------------------------
// The outputs under faults.

class OutputFaults : public Campaign {
 protected:
  void SetUp() override {
    Campaign::SetUp();
    const auto made =
        Pierhost({"generate", "--storeys", "3", "--grid", "5x5", "--out", "building.json"});
    ASSERT_EQ(made.status, 0) << made.output;
    // Two different sets of outputs of one building.
    for (const auto& [dir, diameter] : {std::pair{"a", "16"}, std::pair{"b", "20"}}) {
      const auto run = Building(dir, diameter);
      ASSERT_EQ(run.status, 0) << run.output;
      reference_.push_back(OutputSet(dir_ / dir));
    }
  }

  Outcome Building(const std::string& out, const std::string& diameter,
                   const std::string& prefix = "") const {
    return Pierhost(
        {"building", "building.json", "--set", "Main_Diameter=" + diameter, "--out", out}, prefix);
  }

  // The outputs in `out` are one of the two sets, whole.
  ::testing::AssertionResult WholeSet(const fs::path& out) const {
    const auto set = OutputSet(out);
    if (set == reference_[0] || set == reference_[1]) return ::testing::AssertionSuccess();
    std::string which;
    for (std::size_t i = 0; i < set.size(); ++i) {
      which += kOutputNames[i] + (set[i] == reference_[0][i]   ? " (a) "
                                  : set[i] == reference_[1][i] ? " (b) "
                                                               : " (neither) ");
    }
    return ::testing::AssertionFailure() << "a mixed set: " << which;
  }

  std::vector<std::vector<std::string>> reference_;
};

// Links planted in the output folder redirect nothing: no file outside it
// is written, and a folder of the outputs that is a link is refused.
TEST_F(OutputFaults, PlantedLinksRedirectNothing) {
  Write(dir_ / "victim", "precious");
  fs::create_directories(dir_ / "victim_dir");
  fs::create_directories(dir_ / "out");
  for (const auto& name : kOutputNames) fs::create_symlink(dir_ / "victim", dir_ / "out" / name);
  fs::create_symlink(dir_ / "victim", dir_ / "out" / ".cage.ifc.tmp12345");
  ASSERT_EQ(Building("out", "16").status, 0);
  EXPECT_EQ(Read(dir_ / "victim"), "precious");
  EXPECT_TRUE(WholeSet(dir_ / "out"));

  // The current set pointed elsewhere: the next set replaces the link.
  fs::remove(dir_ / "out" / ".pierhost" / "current");
  fs::create_symlink(dir_ / "victim_dir", dir_ / "out" / ".pierhost" / "current");
  ASSERT_EQ(Building("out", "20").status, 0);
  EXPECT_TRUE(Listing(dir_ / "victim_dir").empty());
  EXPECT_EQ(OutputSet(dir_ / "out"), reference_[1]);
  EXPECT_TRUE(OneSetOfOutputs(dir_ / "out"));

  // The folder of the outputs itself a link.
  fs::create_directories(dir_ / "other");
  fs::create_symlink(dir_ / "victim_dir", dir_ / "other" / ".pierhost");
  ExpectRefused(Building("other", "16"), {"other/.pierhost", "is not the folder"}, kOutputFailed);
  EXPECT_TRUE(Listing(dir_ / "victim_dir").empty());

  // A generated model written over a link replaces the link.
  fs::create_symlink(dir_ / "victim", dir_ / "linked.json");
  ASSERT_EQ(
      Pierhost({"generate", "--storeys", "1", "--grid", "1x1", "--out", "linked.json"}).status, 0);
  EXPECT_EQ(Read(dir_ / "victim"), "precious");
  EXPECT_FALSE(fs::is_symlink(dir_ / "linked.json"));
}

// A rename that fails (injected by strace) and a file-size limit leave the
// previous set whole and nothing of the failed run behind.
TEST_F(OutputFaults, FailedRenamesAndFullFilesLeaveThePreviousSet) {
  ASSERT_EQ(Building("out", "16").status, 0);

  const auto limited = Building("out", "20", "ulimit -f 256;");
  ExpectRefused(limited, {"out/", "writing failed", "File too large"}, kOutputFailed);
  EXPECT_EQ(OutputSet(dir_ / "out"), reference_[0]);
  EXPECT_TRUE(OneSetOfOutputs(dir_ / "out"));

  if (Shell("strace -f -qq -o /dev/null true").status != 0) {
    GTEST_SKIP() << "strace cannot trace here (missing, or ptrace refused)";
  }
  // LeakSanitizer (in the sanitizer build) cannot run under a tracer.
  const std::string inject =
      "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 strace -f -qq -o /dev/null "
      "-e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:error=EIO";
  const auto failed = Building("out", "20", inject);
  ExpectRefused(failed, {"out", "cannot publish the outputs", "Input/output error"}, kOutputFailed);
  EXPECT_EQ(OutputSet(dir_ / "out"), reference_[0]);
  EXPECT_TRUE(OneSetOfOutputs(dir_ / "out"));
  // The same into a new folder: there is no set at all, rather than a part.
  const auto fresh = Building("new", "20", inject);
  EXPECT_EQ(fresh.status, kOutputFailed) << fresh.output;
  for (const auto& name : kOutputNames) EXPECT_FALSE(fs::exists(dir_ / "new" / name)) << name;
}

// Killed at any moment, a run leaves the previous set or its own, whole;
// the next run clears what the killed ones left.
TEST_F(OutputFaults, KillsAtRandomMomentsLeaveAWholeSet) {
  ASSERT_EQ(Building("out", "16").status, 0);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Building("timed", "20").status, 0);
  const auto took = std::chrono::steady_clock::now() - start;
  std::mt19937 random(20240607);
  for (int k = 0; k < 12; ++k) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (::chdir(dir_.c_str()) != 0) ::_exit(127);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      const std::string diameter = k % 2 ? "Main_Diameter=16" : "Main_Diameter=20";
      ::execl(PIERHOST, PIERHOST, "building", "building.json", "--set", diameter.c_str(), "--out",
              "out", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto at = std::chrono::duration_cast<std::chrono::microseconds>(took) *
                    std::uniform_real_distribution<double>(0.2, 1.1)(random);
    std::this_thread::sleep_for(at);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WholeSet(dir_ / "out")) << "after a kill at " << at.count() << " us";
  }
  ASSERT_EQ(Building("out", "20").status, 0);
  EXPECT_EQ(OutputSet(dir_ / "out"), reference_[1]);
  EXPECT_TRUE(OneSetOfOutputs(dir_ / "out"));
}

// Runs writing into one folder at once take turns: each exits 0, and the
// folder ends with one whole set.
TEST_F(OutputFaults, ConcurrentRunsEndWithOneWholeSet) {
  const auto both = Shell("pids=; for d in 16 20 16 20; do timeout -s KILL 120 " + Quote(PIERHOST) +
                          " building building.json --set Main_Diameter=$d --out out > run$d.txt "
                          "2>&1 & pids=\"$pids $!\"; done; fails=0; for p in $pids; do wait $p || "
                          "fails=$((fails+1)); done; echo failed $fails");
  EXPECT_NE(both.output.find("failed 0"), std::string::npos) << both.output;
  EXPECT_TRUE(WholeSet(dir_ / "out"));
  EXPECT_TRUE(OneSetOfOutputs(dir_ / "out"));
}

// A folder that cannot be written says why; an empty --out and a folder in
// the way of an output are named.
TEST_F(OutputFaults, UnwritableFoldersAreNamedWithTheReason) {
  ExpectRefused(Building("", "16"), {"empty path"});
  fs::create_directories(dir_ / "blocked" / "cage.ifc");
  ExpectRefused(Building("blocked", "16"),
                {"blocked/cage.ifc", "a folder of that name is in the way"}, kOutputFailed);

  // Permissions bind everyone but root: as root, the run is made as nobody.
  fs::create_directories(dir_ / "readonly");
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(dir_ / "readonly", fs::perms::owner_read | fs::perms::owner_exec |
                                         fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
  std::string as;
  if (::geteuid() == 0) {
    if (Shell("setpriv --reuid=nobody --regid=nogroup --clear-groups true").status != 0) {
      GTEST_SKIP() << "cannot run as nobody here";
    }
    as = "setpriv --reuid=nobody --regid=nogroup --clear-groups";
  }
  const auto run = Building("readonly", "16", as);
  ExpectRefused(run, {"readonly: cannot write into the output folder: Permission denied"},
                kOutputFailed);
}

// ---------------------------------------------------------------------------
// Palette values beyond what a cage can be, and stacked pairs no building
// has. Each edit must be refused with a message naming the parameter, and
// no bar may lie far outside its column.

TEST_F(Campaign, PaletteValuesBeyondACageAreRefusedNamingTheParameter) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--pick", "C5", "--set", "Main_Diameter=1e308"}, "Main_Diameter"},
      {{"--pick", "C5", "--set", "Add_X_Number=1000000"}, "Add_X_Number"},
      {{"--pick", "C1", "--pick", "C2", "--set", "Slab_Above=-1e9"}, "Slab_Above"},
      {{"--pick", "C1", "--pick", "C2", "--set", "Concr_Cover_Above=1e5"}, "Concr_Cover_Above"},
  };
  for (const auto& [args, parameter] : cases) {
    SCOPED_TRACE(parameter);
    std::vector<std::string> all{"cage", kExample.string(), "--out", "out"};
    all.insert(all.end(), args.begin(), args.end());
    const auto run = Pierhost(all);
    EXPECT_NE(run.output.find(parameter), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("placement line"), std::string::npos) << run.output;
    if (run.status == 0) {
      // Refused and kept the value before: the bars stay by the columns.
      const json model = json::parse(Read(dir_ / "out" / "model.json"));
      EXPECT_LT(model.dump().size(), 10u << 20);
    }
  }
}

TEST_F(Campaign, StackedPairsFarApartAreRefusedNamingTheGap) {
  Write(dir_ / "m.json", Columns({{"C1", 0, 0, 3000}, {"C2", 0, 100000, 103000}}));
  const auto run = Pierhost({"cage", "m.json", "--pick", "C1", "--pick", "C2", "--out", "out"});
  EXPECT_NE(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("C2"), std::string::npos) << run.output;
}

}  // namespace
