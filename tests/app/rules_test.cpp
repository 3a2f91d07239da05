#include "app/rules.h"

#include <gtest/gtest.h>

#include "app/building.h"

namespace {

using namespace pierhost;
using HostElementAdapter::ElementModel;

std::shared_ptr<const ElementModel> Building() {
  ElementModel::Builder b("b", "b.ifc");
  const auto square = [](double x, double side) {
    return std::vector<HostGeo::Point2D>{{x, 0}, {x + side, 0}, {x + side, side}, {x, side}};
  };
  b.AddColumn("C-200", square(0, 200), 0, 3000)
      .AddColumn("C-600", square(1000, 600), 0, 3000)
      .AddColumn("K-600", square(3000, 600.05), 3250, 6250)  // 0.05 mm of export noise
      .AddColumn("X-450", square(5000, 450), 3250, 6250);
  HostElementAdapter::SourceModel source;
  source.storeys = {{"0a", "Ground", 0, 0.0}, {"0b", "First", 3250, 3250.0}};
  b.SetSource(source);
  HostElementAdapter::ElementSource s;
  s.storey = 1;
  s.name = "Column";
  s.tag = "K7";
  s.type_name = "Rect 600";
  b.SetElementSource("K-600", s);
  return b.Build();
}

std::string RulesError(const std::string& rules) {
  try {
    BuildingRules::Parse(R"({"format": "pier-rules", "version": 1, "rules": [)" + rules + "]}",
                         "r.json");
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

TEST(BuildingRules, TheFirstMatchingRuleGivesAColumnsEditsAfterTheSetOnes) {
  const auto model = Building();
  BuildingOptions options;
  options.sets = {{"Concr_Cover", "35"}};
  options.rules = std::make_shared<BuildingRules>(BuildingRules::Parse(R"({
    "format": "pier-rules", "version": 1,
    "rules": [
      { "name": "small", "width": [0, 250], "set": ["Main_Diameter=12"] },
      { "name": "upper tagged", "storeys": ["Fir*"], "names": ["K?"], "types": ["Rect *"],
        "set": ["Main_Diameter=25", "Main_Stirrup_Diameter=10"] },
      { "name": "large", "width": [500, 700], "length": [500, 700], "set": ["Main_Diameter=20"] }
    ]})",
                                                                       "r.json"));
  const auto edits = [&](const std::string& id) {
    return ColumnEdits(options, *model, *model->Find(id), false);
  };
  EXPECT_EQ(edits("C-200"), (PaletteEdits{{"Concr_Cover", "35"}, {"Main_Diameter", "12"}}));
  EXPECT_EQ(edits("C-600"), (PaletteEdits{{"Concr_Cover", "35"}, {"Main_Diameter", "20"}}));
  // Matched by storey, tag and type before the rule of its size.
  EXPECT_EQ(edits("K-600"),
            (PaletteEdits{
                {"Concr_Cover", "35"}, {"Main_Diameter", "25"}, {"Main_Stirrup_Diameter", "10"}}));
  EXPECT_EQ(edits("X-450"), (PaletteEdits{{"Concr_Cover", "35"}}));
  // A rule's values for the columns above go, under their own names, to a
  // column that stands on another, after everything else.
  options.sets.push_back({"Main_Diameter_Above", "16"});
  EXPECT_EQ(
      ColumnEdits(options, *model, *model->Find("C-600"), true),
      (PaletteEdits{{"Concr_Cover", "35"}, {"Main_Diameter", "20"}, {"Main_Diameter", "16"}}));
  EXPECT_EQ(ColumnEdits(options, *model, *model->Find("C-600"), false),
            (PaletteEdits{{"Concr_Cover", "35"}, {"Main_Diameter", "20"}}));
  // A side range holds within 0.1 mm: 600.05 is in [500, 600].
  EXPECT_TRUE(BuildingRules::Parse(
                  R"({"format": "pier-rules", "version": 1, "rules": [
                    {"width": [500, 600], "length": [600, 600], "set": []}]})",
                  "r.json")
                  .Match(*model, *model->Find("K-600")));
}

TEST(BuildingRules, FaultsNameTheFileAndThePlace) {
  EXPECT_EQ(RulesError(R"({"width": [300, 200], "set": []})"),
            "r.json: rules[0].width: expected 0 <= min <= max, got [300,200]");
  EXPECT_EQ(RulesError(R"({"set": ["Main_Diameter"]})"),
            "r.json: rules[0].set[0]: expected \"NAME=VALUE\", got \"Main_Diameter\"");
  EXPECT_NE(RulesError(R"({"sides": [1, 2], "set": []})").find("sides"), std::string::npos);
  EXPECT_NE(RulesError(R"({"names": [3], "set": []})").find("rules[0].names[0]"),
            std::string::npos);
}

TEST(MatchesPattern, StarsAndQuestionMarks) {
  EXPECT_TRUE(MatchesPattern("*", ""));
  EXPECT_TRUE(MatchesPattern("C*-*1", "C12-B1"));
  EXPECT_TRUE(MatchesPattern("Level ?", "Level 3"));
  EXPECT_FALSE(MatchesPattern("Level ?", "Level 10"));
  EXPECT_FALSE(MatchesPattern("c*", "C1"));
  EXPECT_TRUE(MatchesPattern("*a*b*c", "xxaxxbxxbxxc"));
}

}  // namespace
