// End-to-end tests of the pierhost program: each runs the built binary as a
// user would, in a folder of its own, and judges the exit status, what the
// terminal shows and what is left in the output folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/output_check.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSource = PIER_SOURCE_DIR;
const fs::path kExample = kSource / "examples" / "two_storey.json";
const fs::path kSessions = kSource / "tests" / "app" / "sessions";
const std::vector<std::string> kOutputs{"cage.ifc", "schedule.csv", "drawing.svg", "model.json"};

struct Outcome {
  int status = -1;     // the exit status; -1 when the program did not exit (a crash)
  std::string output;  // standard output and standard error together
};

using support::Quote;
using support::Read;
using support::Write;

// The example model with one piece of text replaced.
std::string ExampleWith(const std::string& from, const std::string& to) {
  std::string text = Read(kExample);
  const auto at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("the example model has no '" + from + "'");
  return text.replace(at, from.size(), to);
}

// The names in a folder, hidden ones (temporary files) included; none when it is missing.
std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  if (fs::is_directory(dir)) {
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class PierhostCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pierhost_cli_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs pierhost with `args` in the test's folder.
  Outcome Pierhost(const std::vector<std::string>& args) const {
    std::string command = "cd " + Quote(dir_.string()) + " && exec " + Quote(PIERHOST);
    for (const auto& a : args) command += " " + Quote(a);
    command += " 2>&1 </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {};
    Outcome out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.output.append(buffer, n);
    const int status = ::pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }

  Outcome Cage(const std::string& model, std::vector<std::string> more) const {
    std::vector<std::string> args{"cage", model, "--out", "out"};
    args.insert(args.end(), more.begin(), more.end());
    return Pierhost(args);
  }

  // An exit status of 2 with a message naming each of `named`, and nothing
  // written into the output folder.
  void ExpectBadInput(const Outcome& run, const std::vector<std::string>& named) const {
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("error"), std::string::npos) << run.output;
    for (const auto& n : named)
      EXPECT_NE(run.output.find(n), std::string::npos) << "'" << n << "' in\n" << run.output;
    EXPECT_TRUE(Listing(dir_ / "out").empty());
  }

  // All four outputs as one set and nothing else; model.json parses.
  void ExpectAllOutputs(const fs::path& out) const {
    EXPECT_TRUE(testsupport::OneSetOfOutputs(out));
    const auto model = nlohmann::json::parse(Read(out / "model.json"), nullptr, false);
    EXPECT_FALSE(model.is_discarded()) << "model.json is not JSON";
  }

  fs::path dir_;
};

// ---------------------------------------------------------------------------
// Runs that create bars, and runs the cage's checks block.

TEST_F(PierhostCli, ACageRunCreatesBarsAndWritesTheFourOutputs) {
  const auto single = Cage(kExample.string(), {"--pick", "C1", "--set", "Main_Diameter=20"});
  EXPECT_EQ(single.status, 0) << single.output;
  ExpectAllOutputs(dir_ / "out");
  for (const auto& name : kOutputs)
    EXPECT_NE(single.output.find("wrote out/" + name), std::string::npos);

  // A stacked cage into a folder that does not exist yet.
  const auto stacked =
      Pierhost({"cage", kExample.string(), "--pick", "C3", "--pick", "C4", "--out", "a/b"});
  EXPECT_EQ(stacked.status, 0) << stacked.output;
  ExpectAllOutputs(dir_ / "a" / "b");
}

TEST_F(PierhostCli, ChecksThatBlockCreationExitThreeAndLeaveTheOutputsAsTheyWere) {
  ASSERT_EQ(Cage(kExample.string(), {"--pick", "C5"}).status, 0);
  const std::string before = Read(dir_ / "out" / "model.json");
  // Far too much steel for a 300 x 300 section.
  const auto run = Cage(kExample.string(), {"--pick", "C5", "--set", "Main_Diameter=32", "--set",
                                            "Add_X_Number=4", "--set", "Add_X_Diameter=32", "--set",
                                            "Add_Y_Number=4", "--set", "Add_Y_Diameter=32"});
  EXPECT_EQ(run.status, 3) << run.output;
  EXPECT_NE(run.output.find("Max Column Reinforcement Area is 9%"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("no bars were created"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("wrote "), std::string::npos) << run.output;
  ExpectAllOutputs(dir_ / "out");
  EXPECT_EQ(Read(dir_ / "out" / "model.json"), before);
}

// ---------------------------------------------------------------------------
// Bad input: exit status 2, a message naming the file and the key or value,
// nothing written.

TEST_F(PierhostCli, BadModelFilesAreNamedWithTheirFault) {
  const std::string c1 = R"([[0, 0], [300, 0], [300, 500], [0, 500]], "bottom": 0)";
  struct Case {
    std::string text;
    std::vector<std::string> named;
  };
  const std::vector<Case> cases{
      {"this is not JSON", {"bad.json", "not valid JSON", "line 1"}},
      {ExampleWith(R"("top": 3000 },)", R"("top": 3000, "hieght": 3000 },)"),
       {"bad.json", "columns[0].hieght", "unknown key"}},
      {ExampleWith(R"("bottom": 0, "top": 3000)", R"("bottom": NaN, "top": 3000)"),
       {"bad.json", "not valid JSON", "line 6"}},
      {ExampleWith(R"("top": 6250)", R"("top": 1e999)"), {"bad.json", "1e999"}},
      {ExampleWith(R"("id": "C2")", R"("id": "C1")"), {"bad.json", "'C1'", "used twice"}},
      {ExampleWith(R"("id": "C2")", R"("id": "C2", "id": "C2")"), {"bad.json", "\"id\"", "twice"}},
      {ExampleWith(c1, R"([[0, 0], [0, 0], [0, 500], [0, 500]], "bottom": 0)"),
       {"bad.json", "'C1'", "zero-width"}},
      {ExampleWith(c1, R"([[0, 0], [300, 500], [300, 0], [0, 500]], "bottom": 0)"),
       {"bad.json", "'C1'", "twisted"}},
      {ExampleWith(R"("bottom": 3250)", R"("bottom": "3250")"),
       {"bad.json", "columns[1].bottom", "expected a number"}},
      {ExampleWith(R"("version": 1)", R"("version": 2)"), {"bad.json", "version"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named.back());
    Write(dir_ / "bad.json", c.text);
    ExpectBadInput(Cage("bad.json", {"--pick", "C1"}), c.named);
  }
}

TEST_F(PierhostCli, BadPicksAndPaletteEditsAreNamedWithTheirFault) {
  const std::string model = kExample.string();
  ExpectBadInput(Cage(model, {"--pick", "C9"}), {"'C9'", "two_storey.json"});
  ExpectBadInput(Cage(model, {"--pick", "W1"}), {"not a column"});
  ExpectBadInput(Cage(model, {"--pick", "C1", "--pick", "C2", "--pick", "C3"}), {"twice at most"});
  ExpectBadInput(Cage(model, {"--pick", "C1", "--set", "Main_Diamter=20"}),
                 {"'Main_Diamter'", "cage_single.pal"});
  ExpectBadInput(Cage(model, {"--pick", "C1", "--set", "Main_Diameter=abc"}),
                 {"'Main_Diameter'", "'abc'", "not a number"});
  ExpectBadInput(Cage(model, {"--pick", "C1", "--set", "Main_Diameter=nan"}),
                 {"'nan'", "not a finite number"});
  ExpectBadInput(Cage(model, {"--pick", "C1", "--set", "Concr_Grade=2.5"}),
                 {"'Concr_Grade'", "'2.5'"});
  ExpectBadInput(Cage(model, {"--pick", "C1", "--set", "Exposure=XZ9"}),
                 {"'Exposure'", "'XZ9'", "XC1"});
  ExpectBadInput(Cage(model, {"--pick", "C1", "--set", "Main_Diameter"}),
                 {"NAME=VALUE", "'Main_Diameter'"});
}

TEST_F(PierhostCli, AnOutputFolderThatCannotBeWrittenIsNamedAndNothingIsLeft) {
  Write(dir_ / "file", "");
  for (const std::string out : {"file/out", "file"}) {
    SCOPED_TRACE(out);
    const auto run = Pierhost({"cage", kExample.string(), "--pick", "C1", "--out", out});
    // Outputs that cannot be written have an exit status of their own.
    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_NE(run.output.find(out + ": cannot create the output folder"), std::string::npos)
        << run.output;
    EXPECT_EQ(Listing(dir_), std::vector<std::string>{"file"});
    EXPECT_TRUE(fs::is_regular_file(dir_ / "file"));
    EXPECT_EQ(fs::file_size(dir_ / "file"), 0u);
  }
}

// ---------------------------------------------------------------------------
// Usage.

TEST_F(PierhostCli, HelpOfTheProgramAndOfEveryCommandNamesItsOptions) {
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> helps{
      {{"--help"}, {"cage", "run", "tables", "building", "generate", "model", "Exit status"}},
      {{"cage", "--help"}, {"MODEL", "--pick", "--set", "--out", "--all-columns", "IFC"}},
      {{"model", "--help"}, {"MODEL", "--json", "--all-columns"}},
      {{"run", "--help"}, {"SESSION", "--out"}},
      {{"tables", "--help"}, {"--out"}},
      {{"building", "--help"},
       {"MODEL", "--set", "--out", "--slab-zone", "--rules", "--all-columns"}},
      {{"generate", "--help"}, {"--storeys", "--grid", "--size", "--seed", "--out", "--ifc"}},
  };
  for (const auto& [args, named] : helps) {
    SCOPED_TRACE(args.front());
    const auto run = Pierhost(args);
    EXPECT_EQ(run.status, 0) << run.output;
    for (const auto& n : named)
      EXPECT_NE(run.output.find(n), std::string::npos) << n << " in\n" << run.output;
  }
}

TEST_F(PierhostCli, UnknownOptionsAndMissingValuesSayWhatIsWrong) {
  const std::string model = kExample.string();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{}, "A command is required"},
      {{"reinforce"}, "reinforce"},
      {{"--frob"}, "--frob"},
      {{"cage", model, "--pick", "C1", "--bogus"}, "--bogus"},
      {{"cage", model, "--pick"}, "--pick"},
      {{"cage", model}, "--pick"},
      {{"cage", "--pick", "C1"}, "MODEL"},
      {{"cage", "missing.json", "--pick", "C1"}, "missing.json"},
      {{"run", "nothing.json"}, "nothing.json"},
      {{"tables"}, "--out"},
  };
  for (const auto& [args, named] : cases) {
    SCOPED_TRACE(named);
    const auto run = Pierhost(args);
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find(named), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("--help"), std::string::npos) << run.output;
  }
  EXPECT_TRUE(Listing(dir_).empty());
}

// ---------------------------------------------------------------------------
// Recorded sessions.

TEST_F(PierhostCli, SessionEditsShowEachPaletteMessageOnceAndTheRunGoesOn) {
  const std::vector<std::pair<std::string, std::string>> sessions{
      {"concrete_grade.json", "The minimum concrete grade for XD2 is C35/45"},
      {"main_diameter.json", "Main Column Rebar Diameter \xC3\x98min = 12 mm!"},
      {"stirrup_diameter.json", "Stirrup diamter cannot smaller than 0.25*<Main Diameter>"},
      {"stirrup_spacing.json", "Stirrup spacing cannot greater than 12*<Main Diameter>/200mm"},
      {"add_stirrup_spacing.json",
       "Additional stirrup spacing cannot greater than 0.6*<Main Spacing>"},
  };
  for (const auto& [file, message] : sessions) {
    SCOPED_TRACE(file);
    // The session names its model relative to itself, not to the current folder.
    const auto out = dir_ / file;
    const auto run = Pierhost({"run", (kSessions / file).string(), "--out", out.string()});
    EXPECT_EQ(run.status, 0) << run.output;
    // Shown once, as a message box line of its own, not as a line the tool printed.
    EXPECT_EQ(Count(run.output, message), 1u) << run.output;
    EXPECT_EQ(Count(run.output, "\n| " + message + "\n"), 1u) << run.output;
    ExpectAllOutputs(out);
  }
}

TEST_F(PierhostCli, MalformedSessionsAreNamedWithTheEventAtFault) {
  const std::string head = R"({ "format": "pier-session", "version": 1, "model": ")" +
                           kExample.string() +
                           R"(", "events": [ { "click": "C1" }, { "button": "finish" }, )";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
      {R"({ "clik": "C1" } ])", {"events[2]", "expected one of the events"}},
      {R"({ "set": "Main_Diameter" } ])", {"events[2]", "\"value\" is missing"}},
      {R"({ "set": "Main_Diameter", "value": null } ])", {"events[2].value", "null"}},
      {R"({ "button": "press" } ])", {"events[2].button", "\"press\""}},
      // 2^32 + 1000: must not wrap onto Finish (1000).
      {R"({ "button": 4294968296 } ])", {"events[2].button", "out of range"}},
      {R"({ "move": true, "click": "C2" } ])", {"events[2]", "move"}},
      // A button no shown palette has is refused, as the web API refuses it.
      {R"({ "button": 1234 } ])",
       {"events[2]", "no palette shown has a button with event 1234", "cage_single.pal"}},
      {R"({ "cancel": true }, { "button": "draw" } ])",
       {"events[3]", "no palette shown has a button with event 2000"}},
      {R"({ "set": "Main_Diamter", "value": 20 } ])", {"events[2]", "'Main_Diamter'"}},
      {R"({ "click": "C9" } ])", {"events[2]", "'C9'"}},
      {R"({ "move": true } )", {"not valid JSON"}},
  };
  for (const auto& [tail, named] : cases) {
    SCOPED_TRACE(tail);
    Write(dir_ / "session.json", head + tail + " }");
    auto with_file = named;
    with_file.push_back("session.json");
    ExpectBadInput(Pierhost({"run", "session.json", "--out", "out"}), with_file);
  }
  Write(dir_ / "session.json",
        R"({ "format": "pier-session", "version": 1, "model": "nowhere.json", "events": [] })");
  ExpectBadInput(Pierhost({"run", "session.json", "--out", "out"}),
                 {"nowhere.json", "cannot open"});
}

// ---------------------------------------------------------------------------
// IFC models.

const fs::path kIfc = kSource / "tests" / "data" / "ifc" / "ifc4_metres_mapped.ifc";

TEST_F(PierhostCli, BuildingOfAnIfcModelReinforcesItsConcreteColumnsAndSaysWhyNotTheOthers) {
  Write(dir_ / "rules.json", R"({"format": "pier-rules", "version": 1, "rules": [
    {"name": "square", "width": [350, 400], "length": [350, 400], "set": ["Main_Diameter=20"]}]})");
  const auto run = Pierhost({"building", kIfc.string(), "--rules", "rules.json", "--out", "out"});
  EXPECT_EQ(run.status, 0) << run.output;
  ExpectAllOutputs(dir_ / "out");
  // The stacked pair found, the source's names, every refusal told.
  EXPECT_NE(run.output.find("Columns: 4 (1 carrying a column above)"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("C1+C1-up"), std::string::npos);
  EXPECT_NE(run.output.find("rules: square 2, none 2"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("ifc4_metres_mapped.ifc: 7 of 11 columns"), std::string::npos)
      << run.output;
  for (const char* reason :
       {"round section, 1 column: C10", "tilted, 1 column: C7", "not concrete, 1 column: C12",
        "Brep body, 1 column: C11", "clipped, 1 column: C8", "cut by an opening, 1 column: C13",
        "L-shaped or notched section, 1 column: C9"}) {
    EXPECT_NE(run.output.find(reason), std::string::npos) << reason << " in\n" << run.output;
  }
  // cage.ifc in the source's metres, its storeys, each cage tied to its column.
  const std::string ifc = Read(dir_ / "out" / "cage.ifc");
  EXPECT_NE(ifc.find("IFCSIUNIT(*,.LENGTHUNIT.,$,.METRE.)"), std::string::npos);
  EXPECT_NE(ifc.find("'Ground floor'"), std::string::npos);
  EXPECT_NE(ifc.find("IFCIDENTIFIER('0ColumnC1_____________')"), std::string::npos);
  EXPECT_EQ(Count(ifc, "=IFCCOLUMN("), 0u);
  EXPECT_NE(Read(dir_ / "out" / "schedule.csv").find("C1+C1-up"), std::string::npos);
}

TEST_F(PierhostCli, PicksOfAnIfcModelNameAColumnByGlobalIdNameOrTagAndRefusalsSayWhy) {
  // By GlobalId, then the one on it by Tag.
  const auto run = Cage(kIfc.string(), {"--pick", "0ColumnC1_____________", "--pick", "C1-up"});
  EXPECT_EQ(run.status, 0) << run.output;
  ExpectAllOutputs(dir_ / "out");
  fs::remove_all(dir_ / "out");
  ExpectBadInput(Cage(kIfc.string(), {"--pick", "C10"}), {"'C10'", "not taken: round section"});
  ExpectBadInput(Cage(kIfc.string(), {"--pick", "C12"}), {"not taken: not concrete"});
  EXPECT_EQ(Cage(kIfc.string(), {"--pick", "C12", "--all-columns"}).status, 0);
  fs::remove_all(dir_ / "out");
  // A file that is neither: named, with its line.
  Write(dir_ / "broken.ifc", "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n#1=IFCWALL(;\n");
  ExpectBadInput(Cage("broken.ifc", {"--pick", "W"}), {"broken.ifc:5: #1:"});
}

TEST_F(PierhostCli, AModelWithNoColumnTheToolCanTakeSaysSoAndExitsTwo) {
  // Only steel, timber and plastic: not taken, listed, and the way to take
  // them named.
  std::string text = Read(kIfc);
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"'Concrete C30/37',$,'Concrete'", "'Steel S235',$,'Steel'"},
           {"'B\\X2\\00E9\\X0\\ton arm\\X2\\00E9\\X0\\'", "'Timber GL24h'"},
           {"'Hormig\\X2\\00F3\\X0\\n HA-30'", "'PVC'"}}) {
    ASSERT_NE(text.find(from), std::string::npos) << from;
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  Write(dir_ / "steel.ifc", text);
  const auto run = Pierhost({"building", "steel.ifc", "--out", "out"});
  ExpectBadInput(run,
                 {"has no column the tool can take", "--all-columns", "not concrete, 11 columns"});
  // The model command lists what is taken and what is not.
  const auto listed = Pierhost({"model", kIfc.string(), "--json"});
  EXPECT_EQ(listed.status, 0) << listed.output;
  const auto json = nlohmann::json::parse(listed.output);
  EXPECT_EQ(json["columns"].size(), 4u);
  EXPECT_EQ(json["refused"].size(), 7u);
  EXPECT_EQ(json["schema"], "IFC4");
}

// ---------------------------------------------------------------------------
// GlobalIds across the files of a project.

// The rooted entities of a cage.ifc by GlobalId: each entity's line with its
// own number taken off and its references to other entities blanked, so
// that lines of two files compare by what they say.
std::map<std::string, std::string> RootedEntities(const std::string& ifc) {
  static const std::regex rooted(R"re(#\d+=(IFC[A-Z0-9]+)\('([0-9A-Za-z_$]{22})',(.*)\);)re");
  static const std::regex reference(R"(#\d+)");
  std::map<std::string, std::string> out;
  std::istringstream in(ifc);
  std::string line;
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, rooted)) continue;
    const std::string said = m[1].str() + "(" + std::regex_replace(m[3].str(), reference, "#");
    EXPECT_TRUE(out.emplace(m[2], said).second) << "GlobalId " << m[2] << " twice in one file";
  }
  return out;
}

TEST_F(PierhostCli, GlobalIdsNameOneThingAcrossTheFilesOfAProjectAndRepeatWithTheRun) {
  const fs::path rotated = kSource / "examples" / "rotated_columns.json";
  const std::vector<std::vector<std::string>> runs{
      {"cage", kExample.string(), "--pick", "C5"},
      {"cage", kExample.string(), "--pick", "C1", "--pick", "C2"},
      {"cage", kExample.string(), "--pick", "C5", "--set", "Main_Diameter=20"},
      {"cage", kExample.string(), "--pick", "C3", "--set", "Main_Stirrup_Diameter=10"},
      {"building", kExample.string()},
      {"building", rotated.string()},
      {"cage", kExample.string(), "--pick", "C5"},  // the first run again
  };
  std::vector<std::map<std::string, std::string>> files;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    auto args = runs[r];
    args.insert(args.end(), {"--out", "run" + std::to_string(r)});
    const auto run = Pierhost(args);
    ASSERT_EQ(run.status, 0) << run.output;
    files.push_back(RootedEntities(Read(dir_ / ("run" + std::to_string(r)) / "cage.ifc")));
    ASSERT_GT(files.back().size(), 20u);
  }
  // A run repeated gives every object the id it had.
  EXPECT_EQ(files.front(), files.back());
  // An id two files share names the same thing in both: the same entity
  // saying the same (the project, its storeys, a bar type of one shape).
  std::size_t shared = 0, types = 0;
  for (std::size_t a = 0; a + 1 < files.size(); ++a) {
    for (std::size_t b = a + 1; b + 1 < files.size(); ++b) {
      for (const auto& [id, said] : files[a]) {
        const auto other = files[b].find(id);
        if (other == files[b].end()) continue;
        ++shared;
        types += said.rfind("IFCREINFORCINGBARTYPE", 0) == 0;
        EXPECT_EQ(said, other->second) << "GlobalId " << id << " in runs " << a << " and " << b;
      }
    }
  }
  EXPECT_GT(shared, 0u);  // the project and its storeys at least
  EXPECT_GT(types, 0u);   // the links of C5 and of C1 are one shape
}

TEST_F(PierhostCli, TheOutputsAreIssuedAsTheDrawingNamedWithOnePdfPagePerSheet) {
  const auto run = Pierhost(
      {"building", kExample.string(), "--drawing", "S-204", "--revision", "C02", "--out", "out"});
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string svg = Read(dir_ / "out" / "drawing.svg");
  EXPECT_NE(svg.find(">S-204/1  rev. C02<"), std::string::npos);
  EXPECT_NE(Read(dir_ / "out" / "schedule.csv").find("\"S-204 revision C02\""), std::string::npos);
  EXPECT_NE(Read(dir_ / "out" / "bars.abs").find("@rS-204@iC02@"), std::string::npos);
  // One sheet per group of cages, one PDF page per sheet, A3 landscape.
  const std::size_t sheets = Count(svg, "<g id=\"sheet");
  EXPECT_GE(sheets, 2u);
  EXPECT_EQ(Count(svg, "Sheet 1 of " + std::to_string(sheets)), 1u);
  const std::string pdf = Read(dir_ / "out" / "drawing.pdf");
  ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
  EXPECT_EQ(Count(pdf, "/Type /Page\n") + Count(pdf, "/Type /Page "), sheets);
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 1190.551181 841.889764 ]"), std::string::npos);

  // A drawing number must be something to print.
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"--drawing", ""}, {"--revision", std::string(41, 'R')}, {"--drawing", "A\x1b"}}) {
    const auto bad =
        Pierhost({"cage", kExample.string(), "--pick", "C5", option, value, "--out", "bad"});
    EXPECT_EQ(bad.status, 2) << bad.output;
    EXPECT_NE(bad.output.find(option), std::string::npos) << bad.output;
    EXPECT_FALSE(fs::exists(dir_ / "bad"));
  }
}

TEST_F(PierhostCli, CageIfcGivesTheBarTypesTheirShapeAndTheColumnsTheirConcrete) {
  const auto run = Cage(kExample.string(), {"--pick", "C5"});
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string ifc = Read(dir_ / "out" / "cage.ifc");
  // IFC4 has no bending property set of its own: the bar type carries the
  // shape code and its dimensions, and the rest is in a set of ours.
  EXPECT_EQ(ifc.find("Pset_ReinforcingBarBendings"), std::string::npos);
  EXPECT_EQ(ifc.find("ShapeParameter_"), std::string::npos);
  EXPECT_NE(ifc.find("'Pier_BarSchedule'"), std::string::npos);
  EXPECT_TRUE(std::regex_search(
      ifc,
      std::regex(
          R"(IFCREINFORCINGBARTYPE\('[^']{22}',\$,'01',.*,'52',\(IFCLENGTHMEASURE\(240\.\),)"
          R"(IFCLENGTHMEASURE\(240\.\),IFCLENGTHMEASURE\(115\.\),IFCLENGTHMEASURE\(115\.\)\)\);)")));
  // The column's concrete: the grade its cage was made for.
  std::smatch column, material;
  ASSERT_TRUE(std::regex_search(ifc, column, std::regex(R"((#\d+)=IFCCOLUMN\()")));
  ASSERT_TRUE(std::regex_search(ifc, material,
                                std::regex(R"((#\d+)=IFCMATERIAL\('C25/30',\$,'Concrete'\);)")));
  EXPECT_TRUE(
      std::regex_search(ifc, std::regex("IFCRELASSOCIATESMATERIAL\\([^;]*\\(" + column[1].str() +
                                        "\\)," + material[1].str() + "\\);")));
}

}  // namespace
