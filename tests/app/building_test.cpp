#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>
#include <utility>

#include "app/building.h"
#include "app/generate.h"
#include "host/model_reader.h"

namespace {

using namespace pierhost;
using HostElementAdapter::ElementModel;

const HostUtil::PluginModule& Plugin() {
  static const auto plugin = HostUtil::PluginModule::Load(PIER_PLUGIN_DIR "/libpiertool.so");
  return plugin;
}

std::shared_ptr<const ElementModel> Model(const std::string& columns) {
  return HostElementAdapter::ParseModelFile(
      R"({"format": "pier-model", "version": 1, "name": "t", "columns": [)" + columns + "]}",
      "t.json");
}

std::string Column(const std::string& id, double x, double y, double w, double l, double bottom,
                   double top) {
  const auto n = [](double v) { return std::to_string(v); };
  return R"({"id": ")" + id + R"(", "corners": [[)" + n(x) + "," + n(y) + "],[" + n(x + w) + "," +
         n(y) + "],[" + n(x + w) + "," + n(y + l) + "],[" + n(x) + "," + n(y + l) +
         R"(]], "bottom": )" + n(bottom) + R"(, "top": )" + n(top) + "}";
}

std::map<std::string, std::string> Above(const ElementModel& model) {
  std::map<std::string, std::string> out;
  const auto above = FindColumnsAbove(model);
  for (auto i : model.GetColumns()) {
    out[model.GetElements()[i].id] = above[i] ? model.GetElements()[*above[i]].id : "";
  }
  return out;
}

TEST(FindColumnsAbove, StacksOffsetsGapsAndTheLowestCandidate) {
  const auto model =
      Model(Column("A1", 0, 0, 300, 500, 0, 3000) + "," +      // carries A2
            Column("A2", 0, 0, 300, 500, 3250, 6250) + "," +   // carries A3
            Column("A3", 20, 0, 260, 500, 6500, 9500) + "," +  // offset, centre inside
            Column("B1", 2000, 0, 300, 300, 0, 3000) + "," +   // its upper centre is outside
            Column("B2", 2200, 0, 300, 300, 3250, 6250) + "," +
            Column("C1", 4000, 0, 300, 300, 0, 3000) + "," +  // gap beyond the slab zone
            Column("C2", 4000, 0, 300, 300, 4600, 7000) + "," +
            Column("D1", 6000, 0, 400, 400, 0, 3000) + "," +  // two candidates
            Column("D3", 6000, 0, 400, 400, 3400, 6000) + "," +
            Column("D2", 6050, 50, 300, 300, 3200, 6000));
  const auto above = Above(*model);
  EXPECT_EQ(above.at("A1"), "A2");
  EXPECT_EQ(above.at("A2"), "A3");
  EXPECT_EQ(above.at("A3"), "");
  EXPECT_EQ(above.at("B1"), "");
  EXPECT_EQ(above.at("C1"), "");
  EXPECT_EQ(above.at("D1"), "D2");
  // A column standing exactly on the top, with no slab, is carried too.
  EXPECT_EQ(Above(*Model(Column("E1", 0, 0, 300, 300, 0, 3000) + "," +
                         Column("E2", 0, 0, 300, 300, 3000, 6000)))
                .at("E1"),
            "E2");
}

TEST(FindColumnsAbove, GeneratedBuildingWithOffsetsAndMissingColumns) {
  GenerateOptions o;
  o.storeys = 6;
  o.grid_x = 5;
  o.grid_y = 4;
  const auto model = HostElementAdapter::ParseModelFile(GenerateBuilding(o), "generated");
  const auto& e = model->GetElements();
  const auto above = FindColumnsAbove(*model);
  std::size_t stacked = 0;
  for (auto i : model->GetColumns()) {
    // Every column but the top storey's carries the one of the next storey
    // at its grid place, if that one is there.
    const std::string& id = e[i].id;
    const std::string next = "S0" + std::to_string(std::stoi(id.substr(1, 2)) + 1) + id.substr(3);
    if (model->Find(next)) {
      ASSERT_TRUE(above[i].has_value()) << id;
      EXPECT_EQ(e[*above[i]].id, next);
      ++stacked;
    } else {
      EXPECT_FALSE(above[i].has_value()) << id;
    }
  }
  EXPECT_GT(stacked, 60u);
  EXPECT_LT(model->GetColumns().size(), 6u * 20u);  // some are missing
}

// A column as real models give it: its section turned by `degrees` about its
// first corner (x, y).
std::string Turned(const std::string& id, double x, double y, double w, double l, double degrees,
                   double bottom, double top) {
  const double t = degrees * std::numbers::pi / 180, c = std::cos(t), s = std::sin(t);
  std::string corners;
  for (const auto& [u, v] : {std::pair{0.0, 0.0}, {w, 0.0}, {w, l}, {0.0, l}}) {
    corners += (corners.empty() ? "[" : ",[") + std::to_string(x + u * c - v * s) + "," +
               std::to_string(y + u * s + v * c) + "]";
  }
  return R"({"id": ")" + id + R"(", "corners": [)" + corners + R"(], "bottom": )" +
         std::to_string(bottom) + R"(, "top": )" + std::to_string(top) + "}";
}

TEST(FindStacks, OverlapInPlanMakesAStackAndPairsTheCageCannotTakeGetSingleCages) {
  const auto model =
      Model(Column("A1", 0, 0, 400, 400, 0, 3000) + "," +  // its upper's centre is outside
            Column("A2", 250, 0, 400, 400, 3250, 6250) + "," +
            Column("B1", 2000, 0, 300, 300, 0, 3000) + "," +  // larger above
            Column("B2", 1950, -50, 400, 400, 3250, 6250) + "," +
            Column("C1", 4000, 0, 400, 400, 0, 3000) + "," +  // turned above
            Turned("C2", 4100, 100, 200, 200, 10, 3250, 6250) + "," +
            Column("D1", 6000, 0, 400, 400, 0, 3000) + "," +  // only touching: not standing on
            Column("D2", 6400, 0, 400, 400, 3250, 6250) + "," +
            Column("E1", 8000, 0, 400, 400, 0, 3000) + "," +  // 0.3 mm into the lower's top
            Column("E2", 8000, 0, 300, 400, 2999.7, 6000) + "," +
            Column("F1", 10000, 0, 400, 400, 0, 3000) + "," +  // 1 mm into it: not on its top
            Column("F2", 10000, 0, 400, 400, 2999, 6000) + "," +
            Turned("G1", 12000, 0, 400, 600, 30, 0, 3000) + "," +  // both turned alike
            Turned("G2", 12000, 0, 400, 600, 30, 3200, 6000));
  const auto stacks = FindStacks(*model);
  const auto& e = model->GetElements();
  std::map<std::string, std::string> singles;
  for (const auto& p : stacks.singles) {
    singles[e[p.lower].id + "+" + e[p.upper].id] = p.reason + " " + p.detail;
  }
  EXPECT_EQ(singles, (std::map<std::string, std::string>{
                         {"A1+A2", "the column above overhangs it by 250 mm"},
                         {"B1+B2", "the column above is larger 400 x 400 on 300 x 300 mm"},
                         {"C1+C2", "the column above is turned against it by 10 degrees"}}));
  const auto above = Above(*model);
  for (const char* id : {"A1", "B1", "C1", "D1", "F1"}) EXPECT_EQ(above.at(id), "") << id;
  EXPECT_EQ(above.at("E1"), "E2");
  EXPECT_EQ(above.at("G1"), "G2");
}

TEST(FindStacks, WorkFollowsTheColumnsNotTheirSizeAndAbsurdCoordinatesAreRefused) {
  // The widest column a building has among ordinary ones, and a building
  // 9,000 km out: the stacks found at once (the suite's time limit is the
  // check), with no overflow in the index.
  const auto model = Model(Column("WIDE", -10000, -10000, 20000, 20000, 0, 3000) + "," +
                           Column("ON", 0, 0, 400, 400, 3250, 6250) + "," +
                           Column("FAR1", 9e9, -9e9, 400, 400, 0, 3000) + "," +
                           Column("FAR2", 9e9, -9e9, 400, 400, 3250, 6250));
  const auto above = Above(*model);
  EXPECT_EQ(above.at("FAR1"), "FAR2");
  EXPECT_EQ(FindStacks(*model).singles.size(), 0u);
  EXPECT_EQ(above.at("WIDE"), "ON");
  // Coordinates no building has never reach the stack finder: the model
  // refuses them, naming the column.
  try {
    Model(Column("OK", 0, 0, 400, 400, 0, 3000) + "," +
          Column("ABSURD", 1e300, 0, 400, 400, 0, 3000));
    ADD_FAILURE() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("column 'ABSURD'"), std::string::npos) << e.what();
  }
}

TEST(ReinforceBuilding, PairsGivenSingleCagesAreReported) {
  const auto model =
      Model(Column("L", 0, 0, 300, 300, 0, 3000) + "," + Column("U", 0, 0, 400, 400, 3250, 6250));
  const auto result = ReinforceBuilding(Plugin(), model, PIER_TOOL_DIR, BuildingOptions{});
  ASSERT_EQ(result.singles.size(), 1u);
  EXPECT_EQ(result.singles[0].reason, "the column above is larger");
  ASSERT_EQ(result.cages.size(), 2u);
  EXPECT_EQ(result.cages[0].name, "L");
  EXPECT_EQ(result.cages[1].name, "U");
}

TEST(ReinforceBuilding, EachColumnGetsTheCageOfItsOwnRun) {
  GenerateOptions o;
  o.storeys = 3;
  o.grid_x = 3;
  o.grid_y = 2;
  const auto model = HostElementAdapter::ParseModelFile(GenerateBuilding(o), "generated");
  BuildingOptions options;
  options.sets = {{"Main_Diameter", "20"}};
  const auto result = ReinforceBuilding(Plugin(), model, PIER_TOOL_DIR, options);
  ASSERT_EQ(result.columns.size(), model->GetColumns().size());
  ASSERT_EQ(result.cages.size(), result.columns.size());
  // A user reinforcing bottom up: each column after the one it stands on,
  // with that one's bars in the model, and a stacked cage told the values
  // of the column above.
  std::map<std::string, std::size_t> cage_of;
  for (std::size_t n = 0; n < result.columns.size(); ++n) cage_of[result.columns[n].column] = n;
  for (std::size_t n = 0; n < result.columns.size(); ++n) {
    const auto& c = result.columns[n];
    SCOPED_TRACE(c.column);
    ToolRun run(Plugin(), model, PIER_TOOL_DIR);
    for (const auto& other : result.columns) {
      if (other.above == c.column)
        run.Document().AddBatch(result.cages[cage_of[other.column]].placements);
    }
    run.Click(c.column);
    if (!c.above.empty()) run.Click(c.above);
    run.Button(kFinish);
    run.Set("Main_Diameter", "20");
    if (!c.above.empty()) run.Set("Main_Diameter_Above", "20");
    run.Button(kDraw);
    ASSERT_EQ(run.Cages().size(), 1u);
    EXPECT_EQ(result.cages[n].name, run.Cages()[0].name);
    EXPECT_TRUE(result.cages[n].placements == run.Cages()[0].placements);
  }
}

// Runs share nothing but the plug-in, the model and the palette cache: two
// buildings reinforced at once, each on many threads, with different
// values and global settings, give what each gives alone.
TEST(ReinforceBuilding, TwoBuildingsAtOnceGiveWhatEachGivesAlone) {
  GenerateOptions o;
  o.storeys = 2;
  o.grid_x = 3;
  o.grid_y = 2;
  const auto model = HostElementAdapter::ParseModelFile(GenerateBuilding(o), "generated");
  BuildingOptions sixteen, twenty;
  sixteen.sets = {{"Main_Diameter", "16"}};
  twenty.sets = {{"Main_Diameter", "20"}, {"Concr_Cover", "35"}};
  const auto alone16 = ReinforceBuilding(Plugin(), model, PIER_TOOL_DIR, sixteen);
  const auto alone20 = ReinforceBuilding(Plugin(), model, PIER_TOOL_DIR, twenty);
  BuildingResult at_once16, at_once20;
  std::thread other([&] { at_once20 = ReinforceBuilding(Plugin(), model, PIER_TOOL_DIR, twenty); });
  at_once16 = ReinforceBuilding(Plugin(), model, PIER_TOOL_DIR, sixteen);
  other.join();
  for (const auto& [alone, at_once] : {std::pair{&alone16, &at_once16}, {&alone20, &at_once20}}) {
    ASSERT_EQ(alone->cages.size(), at_once->cages.size());
    for (std::size_t n = 0; n < alone->cages.size(); ++n) {
      EXPECT_EQ(alone->cages[n].name, at_once->cages[n].name);
      EXPECT_TRUE(alone->cages[n].placements == at_once->cages[n].placements)
          << alone->cages[n].name;
    }
  }
  EXPECT_FALSE(alone16.cages.front().placements == alone20.cages.front().placements);
}

TEST(ReinforceBuilding, OutcomesAreCountedAndCarryTheirMessages) {
  const auto model =
      Model(Column("OK", 0, 0, 400, 400, 0, 3000) + "," +
            Column("WALL", 2000, 0, 200, 900, 0, 3000) + "," +  // wall ratio: a warning
            Column("THIN", 4000, 0, 150, 400, 0, 3000) + "," +  // too narrow: blocked
            Column("HEAVY", 6000, 0, 300, 300, 0, 3000));
  BuildingOptions options;
  // A slab thick enough to anchor the 16 mm bars of a column with nothing
  // above (650 mm), which stacked cages, having no slab value, leave alone.
  options.sets = {{"Slab_Above", "700"}};
  const auto result = ReinforceBuilding(Plugin(), model, PIER_TOOL_DIR, options);
  std::map<std::string, ColumnOutcome::Result> by_id;
  for (const auto& c : result.columns) by_id[c.column] = c.result;
  EXPECT_EQ(by_id.at("OK"), ColumnOutcome::Result::Reinforced);
  EXPECT_EQ(by_id.at("WALL"), ColumnOutcome::Result::Warned);
  EXPECT_EQ(by_id.at("THIN"), ColumnOutcome::Result::Blocked);
  EXPECT_EQ(result.cages.size(), 3u);
  for (const auto& c : result.columns) {
    if (c.column == "THIN") {
      ASSERT_FALSE(c.messages.empty());
      EXPECT_NE(c.messages.front().find("smaller than 200"), std::string::npos);
    }
  }
}

}  // namespace
