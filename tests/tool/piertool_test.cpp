// The interactor driven as the host drives it: clicks, mouse moves, palette
// edits and buttons, through whole runs, judged by what the user sees (the
// prompt, the palette shown, the message boxes, the console) and gets (the
// preview and the bars created in the document).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/plugin.h"
#include "tool/piertool.h"
#include "tool/protocol.h"

namespace {

namespace fs = std::filesystem;
using HostBaseElements::PaletteValue;
using HostGeo::Point2D;
using HostGeo::Point3D;
using HostReinf::BendingShapeType;
using piertool::CageModule;
using piertool::GeometrySelectInteractor;

using piertool::kDraw;
using piertool::kFinish;
using piertool::kRebuild;

const char* const kSelect = "Select <Column>";
const char* const kSelectNext = "Select next <Column> or click Finish";
const char* const kCustomize = "Customize rebars and finish by Draw button";

// C1 and C2 stand on each other; C3 stands apart; C9 is too thin for a column;
// the wall's layer has a door and a window cut out; X1 is a body of five
// vertices and S8 an 8-vertex body that is not a box.
std::shared_ptr<const HostElementAdapter::ElementModel> TestModel() {
  const std::vector<Point2D> plan{{0, 0}, {300, 0}, {300, 500}, {0, 500}};
  using Builder = HostElementAdapter::ElementModel::Builder;
  return Builder("tool test")
      .AddColumn("C1", plan, 0, 3000)
      .AddColumn("C2", plan, 3250, 6250)
      .AddColumn("C3", {{2000, 0}, {2400, 0}, {2400, 400}, {2000, 400}}, 0, 3000)
      .AddColumn("C9", {{5000, 0}, {5150, 0}, {5150, 700}, {5000, 700}}, 0, 3000)
      .AddWall("W1", {1000, 2000}, {6000, 2000}, 200, 0, 2800, {{"W1.1", 200}},
               {{"D1", "door", 1000, 900, 2100}, {"WN1", "window", 3000, 1200, 1200, 900}})
      .AddSolid("X1", {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {0, 0, 100}, {50, 50, 200}})
      .AddSolid("S8", {{0, 8000, 0},
                       {400, 8000, 0},
                       {500, 8300, 0},
                       {0, 8300, 0},
                       {0, 8000, 3000},
                       {400, 8000, 3000},
                       {500, 8300, 3000},
                       {0, 8300, 3000}})
      .Build();
}

// One run of the tool as a host makes it: its own session (message boxes,
// the palette shown), a coordinate input over the model and the interactor.
struct ToolRun {
  explicit ToolRun(const std::string& tool_dir = PIER_TOOL_DIR) : tool(input, tool_dir, strings) {}

  HostUtil::Session session;
  HostUtil::SessionScope scope{session};
  HostInput::CoordinateInput input{TestModel(), nullptr};
  HostUtil::StringTableService strings;
  GeometrySelectInteractor tool;

  bool Click(const std::string& id) {
    return tool.process_mouse_msg(HostInput::MouseMessage::Click(id), {}, {});
  }
  bool Move() { return tool.process_mouse_msg(HostInput::MouseMessage::Move(), {}, {}); }
  void Edit(const std::string& name, const PaletteValue& value) {
    tool.modify_element_property(tool.palette_service()->PageOf(name), name, value);
  }
  const HostBaseElements::Parameter& Param(const std::string& name) const {
    return (*tool.build_ele())[name];
  }
  HostBaseElements::ModelDocument& Doc() { return input.GetInputViewDocument(); }
  const std::vector<std::string>& Messages() const { return session.Messages(); }
  // The file name of the palette the user sees, "" when none is shown.
  std::string Shown() const {
    const auto p = session.GetShownPalette();
    return p ? fs::path(p->GetFileName()).filename().string() : std::string();
  }
  // A single column picked and finished; the messages so far forgotten.
  ToolRun& Single() {
    Click("C1");
    tool.on_control_event(kFinish);
    session.ClearMessages();
    return *this;
  }
};

// What `fn` writes to standard output.
std::string Printed(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  try {
    fn();
  } catch (...) {
    testing::internal::GetCapturedStdout();
    throw;
  }
  return testing::internal::GetCapturedStdout();
}

::testing::AssertionResult OneLineWith(const std::string& out, const std::string& part) {
  if (std::count(out.begin(), out.end(), '\n') != 1 || out.back() != '\n' || out.size() < 2) {
    return ::testing::AssertionFailure() << "expected one line, got \"" << out << "\"";
  }
  if (out.find(part) == std::string::npos) {
    return ::testing::AssertionFailure() << "\"" << out << "\" does not mention \"" << part << "\"";
  }
  return ::testing::AssertionSuccess();
}

// The messages besides the detailing warnings, which tell what a checker
// would note but let the bars be created (a 250 mm slab is too thin to
// anchor the bars of a top column, for one).
std::vector<std::string> NotWarnings(const std::vector<std::string>& messages) {
  std::vector<std::string> out;
  for (const auto& m : messages) {
    if (m.rfind("Warning: ", 0) != 0) out.push_back(m);
  }
  return out;
}

std::string ErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

// The placements of a cage by kind: stirrup zones (top, bottom, main when
// both extra zones are on) and longitudinal bars (corner bars first).
std::vector<const HostReinf::BarPlacement*> OfType(const HostReinf::ModelElementList& cage,
                                                   BendingShapeType type) {
  std::vector<const HostReinf::BarPlacement*> out;
  for (const auto& p : cage) {
    if (p.GetBendingShape().GetShapeType() == type) out.push_back(&p);
  }
  return out;
}
// The same bars, of the same diameters, with the same common properties.
bool SameCage(const HostReinf::ModelElementList& a, const HostReinf::ModelElementList& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& p, const auto& q) {
    return p.GetBars() == q.GetBars() &&
           p.GetBendingShape().GetDiameter() == q.GetBendingShape().GetDiameter() &&
           p.GetCommonProperties() == q.GetCommonProperties();
  });
}
double CornerBarDiameter(const HostReinf::ModelElementList& cage) {
  const auto bars = OfType(cage, BendingShapeType::LongitudinalBar);
  return bars.empty() ? 0 : bars.front()->GetBendingShape().GetDiameter();
}
double HighestBarPoint(const HostReinf::ModelElementList& cage) {
  double z = -1e300;
  for (const auto& p : cage) {
    for (const auto& bar : p.GetBars()) {
      for (const auto& q : bar) z = std::max(z, q.Values()[2]);
    }
  }
  return z;
}

// Folders the tests make, inside the build tree so that builds do not share them.
fs::path ScratchDir(const std::string& leaf) {
  const fs::path dir = fs::path(PIER_PLUGIN_DIR).parent_path() / "piertool_test_scratch" / leaf;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// A copy of the tool's folder whose single-column palette starts from other
// values. `defaults` maps parameter names to the JSON text of their value.
std::string ToolDirWith(const std::string& leaf,
                        const std::vector<std::pair<std::string, std::string>>& defaults) {
  const fs::path dir = ScratchDir(leaf);
  for (const auto& entry : fs::directory_iterator(PIER_TOOL_DIR))
    fs::copy(entry.path(), dir / entry.path().filename());
  const fs::path pal = dir / "cage_single.pal";
  std::ostringstream text;
  text << std::ifstream(pal).rdbuf();
  std::string s = text.str();
  for (const auto& [name, value] : defaults) {
    const auto at = s.find("\"value\":", s.find("\"name\": \"" + name + "\""));
    const auto end = s.find_first_of(",\n", at);
    s.replace(at, end - at, "\"value\": " + value);
  }
  std::ofstream(pal) << s;
  return dir.string();
}

// The global properties of the default session: every test leaves them as found.
class PierTool : public testing::Test {
 protected:
  void TearDown() override { HostBaseElements::SetGlobalProperties(saved_); }
  HostBaseElements::CommonProperties saved_ = HostBaseElements::GlobalProperties();
};

// ---------------------------------------------------------------------------
// Entry functions and selection.

TEST_F(PierTool, EntryFunctionsAcceptHostsOfTheirMajorVersionAndCreateNothing) {
  const HostBaseElements::BuildingElement palette("x.pal", {});
  HostBaseElements::ModelDocument doc;
  for (const char* version : {"1", "1.0", "1.12"}) {
    EXPECT_TRUE(check_host_version(nullptr, version)) << version;
    EXPECT_TRUE(check_host_version(&palette, version)) << version;
  }
  for (const char* version : {"", "2024", "2.0", "not a version", "1,0"}) {
    EXPECT_FALSE(check_host_version(nullptr, version)) << version;
  }
  EXPECT_TRUE(create_element(&palette, &doc).elements.empty());
  EXPECT_EQ(create_element(nullptr, nullptr).handle, nullptr);
}

TEST_F(PierTool, SelectionAppendsBoxesAndClosesThePaletteOnAnyOtherBody) {
  ToolRun run;
  EXPECT_EQ(run.Shown(), "Selection_rk.pal");
  EXPECT_EQ(run.input.GetPrompt(), kSelect);
  EXPECT_TRUE(run.Move());  // nothing to preview yet
  EXPECT_EQ(run.Doc().GetPreviewCount(), 0u);
  EXPECT_TRUE(run.tool.point_list().empty());

  EXPECT_TRUE(run.Click("C1"));
  const auto& c1 =
      run.input.GetModel()->GetElements()[*run.input.GetModel()->Find("C1")].geometry.GetVertices();
  EXPECT_EQ(run.tool.point_list(), c1);
  EXPECT_EQ(run.input.GetPrompt(), kSelectNext);
  EXPECT_TRUE(run.Click("C1"));  // the same column twice: its vertices twice
  ASSERT_EQ(run.tool.point_list().size(), 16u);
  EXPECT_TRUE(std::equal(c1.begin(), c1.end(), run.tool.point_list().begin() + 8));

  // The wall layer (24 vertices) and a five-vertex body close the palette
  // and leave the points and the prompt alone.
  for (const char* other : {"W1.1", "X1"}) {
    EXPECT_TRUE(run.Click(other));
    EXPECT_EQ(run.tool.point_list().size(), 16u);
    EXPECT_EQ(run.input.GetPrompt(), kSelectNext);
    EXPECT_EQ(run.Shown(), "");
  }
  // Any 8-vertex body counts as a column.
  EXPECT_TRUE(run.Click("S8"));
  EXPECT_EQ(run.tool.point_list().size(), 24u);
  EXPECT_TRUE(run.Messages().empty());
}

TEST_F(PierTool, FinishWithNeitherOneNorTwoColumnsChangesNothing) {
  for (int columns : {0, 3}) {
    SCOPED_TRACE(columns);
    ToolRun run;
    for (const char* id : {"C1", "C2", "C3"}) {
      if (columns == 3) run.Click(id);
    }
    const std::string prompt = run.input.GetPrompt();
    const auto out = Printed([&] { run.tool.on_control_event(kFinish); });
    EXPECT_EQ(run.tool.point_list().size(), 8u * static_cast<unsigned>(columns));
    EXPECT_EQ(out, "");
    EXPECT_EQ(run.Shown(), "Selection_rk.pal");
    EXPECT_EQ(run.input.GetPrompt(), prompt);
    EXPECT_EQ(run.tool.Column_Module(), CageModule::None);
    EXPECT_FALSE(run.tool.preview());
    EXPECT_TRUE(run.Messages().empty());
    run.Move();
    EXPECT_EQ(run.Doc().GetPreviewCount(), 0u);
  }
}

// ---------------------------------------------------------------------------
// Whole runs.

TEST_F(PierTool, SingleColumnPreviewsOnMovesAndCreatesTheCageOncePerDraw) {
  ToolRun run;
  // The global properties are those of the run's session.
  HostBaseElements::SetGlobalProperties(
      {.Layer = 3, .Pen = 2, .Stroke = 5, .Color = 7, .HelpConstruction = true});
  run.Click("C1");
  run.tool.on_control_event(kFinish);
  EXPECT_EQ(run.Shown(), "cage_single.pal");
  EXPECT_EQ(run.input.GetPrompt(), kCustomize);
  EXPECT_EQ(run.tool.Column_Module(), CageModule::Single);
  EXPECT_TRUE(run.tool.preview());
  EXPECT_TRUE(run.Messages().empty());
  EXPECT_EQ(run.Doc().GetCreatedBatches().size(), 0u);

  EXPECT_TRUE(run.Move());
  ASSERT_EQ(run.Doc().GetPreviewCount(), 1u);
  const auto preview = run.Doc().GetPreview();
  EXPECT_TRUE(SameCage(preview, run.tool.reinforcement()));
  // Three runs of links, four corner bars and a row of side bars on each
  // face.
  ASSERT_EQ(OfType(preview, BendingShapeType::Stirrup).size(), 3u);
  EXPECT_EQ(OfType(preview, BendingShapeType::LongitudinalBar).size(), 8u);
  EXPECT_EQ(CornerBarDiameter(preview), 16);
  // The first cage gets no common properties from the tool.
  for (const auto& p : preview)
    EXPECT_EQ(p.GetCommonProperties(), HostBaseElements::CommonProperties{});

  run.tool.on_control_event(kDraw);
  ASSERT_EQ(run.Doc().GetCreatedBatches().size(), 1u);
  HostBaseElements::SetGlobalProperties(
      {.Layer = 3, .Pen = 9, .Stroke = 5, .Color = 7, .HelpConstruction = false});
  run.tool.on_control_event(kDraw);
  const auto& batches = run.Doc().GetCreatedBatches();
  ASSERT_EQ(batches.size(), 2u);
  for (std::size_t b = 0; b < 2; ++b) {
    EXPECT_EQ(batches[b].elements.size(), preview.size());
    for (const auto& e : batches[b].elements) {
      EXPECT_EQ(e.GetCommonProperties(),
                (HostBaseElements::CommonProperties{.Layer = 65535,
                                                    .Pen = b ? 9 : 2,
                                                    .Stroke = 5,
                                                    .Color = 7,
                                                    .HelpConstruction = b == 0}));
    }
  }
  EXPECT_TRUE(SameCage(batches[1].elements, run.tool.reinforcement()));
  EXPECT_TRUE(NotWarnings(run.Messages()).empty());

  // Rebuild without creating; the next move previews the new cage. A click
  // after Finish still adds a column's vertices.
  run.Edit("Main_Diameter", 20);
  run.tool.on_control_event(kRebuild);
  EXPECT_EQ(batches.size(), 2u);
  run.Move();
  EXPECT_EQ(CornerBarDiameter(run.Doc().GetPreview()), 20);
  for (const auto& p : run.Doc().GetPreview()) EXPECT_EQ(p.GetCommonProperties().Layer, 65535);
  run.Click("C3");
  EXPECT_EQ(run.tool.point_list().size(), 16u);
}

TEST_F(PierTool, FirstPreviewUsesTheSpacingsFromBeforeTheDerivedDefaultsAreWritten) {
  // With 16 mm main bars the derived spacings are 190 (main) and 110 (zones).
  ToolRun run(ToolDirWith("spacings", {{"Main_Stirrup_Spacing", "150"},
                                       {"Add_Stirrup_Top_Spacing", "70"},
                                       {"Add_Stirrup_Bot_Spacing", "60"}}));
  run.Single();
  EXPECT_EQ(run.Param("Main_Stirrup_Spacing").Number(), 190);
  EXPECT_EQ(run.Param("Add_Stirrup_Top_Spacing").Number(), 110);
  run.Move();
  // The runs of links from the bottom up (bottom zone, main, top zone),
  // each at the pitch that evenly fills it within its spacing.
  const auto pitches = [&] {
    std::vector<double> out;
    for (const auto* p : OfType(run.Doc().GetPreview(), BendingShapeType::Stirrup)) {
      out.push_back(p->GetRuleValue());
    }
    return out;
  };
  auto before = pitches();
  ASSERT_EQ(before.size(), 3u);
  EXPECT_LE(before[0], 60 + 1e-6);
  EXPECT_GT(before[0], 50);
  EXPECT_LE(before[1], 150 + 1e-6);
  EXPECT_GT(before[1], 120);
  EXPECT_LE(before[2], 70 + 1e-6);

  run.Edit("Add_X_Number", 2);  // any edit rebuilds from the palette as it now is
  run.Move();
  auto after = pitches();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_LE(after[0], 110 + 1e-6);
  EXPECT_GT(after[0], 90);
  EXPECT_LE(after[1], 190 + 1e-6);
  EXPECT_GT(after[1], 150);
  EXPECT_LE(after[2], 110 + 1e-6);
  EXPECT_TRUE(run.Messages().empty());
}

TEST_F(PierTool, ColumnWithTheColumnAboveGetsTheStackedPaletteAndCage) {
  ToolRun run;
  run.Click("C1");
  run.Click("C2");
  run.tool.on_control_event(kFinish);
  EXPECT_EQ(run.Shown(), "cage_stacked.pal");
  EXPECT_EQ(run.input.GetPrompt(), kCustomize);
  EXPECT_EQ(run.tool.Column_Module(), CageModule::Stacked);
  EXPECT_TRUE(run.Messages().empty());
  run.Move();
  ASSERT_FALSE(run.Doc().GetPreview().empty());
  // The bars of the lower column reach into the one above.
  EXPECT_GT(HighestBarPoint(run.Doc().GetPreview()), 3250);
  EXPECT_LT(HighestBarPoint(run.Doc().GetPreview()), 6250);

  // A change of Calculate_Type writes the derived zone lengths again.
  const double zone = run.Param("Add_Stirrup_Top_Length").Number();
  run.Edit("Add_Stirrup_Top_Length", 300);
  EXPECT_EQ(run.Param("Add_Stirrup_Top_Length").Number(), 300);
  run.Edit("Calculate_Type", "Compression");
  EXPECT_NE(run.Param("Add_Stirrup_Top_Length").Number(), 300);
  EXPECT_NE(run.Param("Add_Stirrup_Top_Length").Number(), zone);  // compression laps differ
  run.Edit("Calculate_Type", "Tension");
  EXPECT_EQ(run.Param("Add_Stirrup_Top_Length").Number(), zone);

  run.tool.on_control_event(kDraw);
  ASSERT_EQ(run.Doc().GetCreatedBatches().size(), 1u);
  EXPECT_TRUE(SameCage(run.Doc().GetCreatedBatches()[0].elements, run.tool.reinforcement()));
  EXPECT_TRUE(NotWarnings(run.Messages()).empty());
}

// ---------------------------------------------------------------------------
// Palette rules.

struct RuleCase {
  std::vector<std::pair<std::string, PaletteValue>> before;  // edits that set the scene
  std::string name;
  PaletteValue value;
  std::string message;  // "" when the value is accepted
  PaletteValue stored;  // the value of `name` afterwards, or of `checked`
  std::string checked = "";
};

TEST_F(PierTool, EveryPaletteRuleAtJustBelowAndJustAboveItsLimit) {
  const std::string grade = "The minimum concrete grade for ";
  const std::string diameter = "Main Column Rebar Diameter \xC3\x98min = 12 mm!";
  const std::string stirrup = "Stirrup diamter cannot smaller than 0.25*<Main Diameter>";
  const std::string spacing = "Stirrup spacing cannot greater than 12*<Main Diameter>/200mm";
  const std::string extra = "Additional stirrup spacing cannot greater than 0.6*<Main Spacing>";
  const std::string bars = "Corner bar diameter: ";
  const std::string links = "Stirrup diameter: ";
  const std::string cover = "Concrete cover to the stirrups: ";
  using V = PaletteValue;
  const std::vector<RuleCase> cases{
      // XC1 admits C16/20 (value 2) and up.
      {{}, "Concr_Grade", V(2), "", V(2)},
      {{}, "Concr_Grade", V(1), grade + "XC1 is C16/20", V(2)},
      {{}, "Concr_Grade", V(3), "", V(3)},
      // XD2 admits C35/45 (value 6) and up; a stricter class raises the grade.
      {{}, "Exposure", V("XD2"), grade + "XD2 is C35/45", V(6), "Concr_Grade"},
      {{{"Concr_Grade", V(6)}}, "Exposure", V("XD2"), "", V(6), "Concr_Grade"},
      {{{"Exposure", V("XD2")}}, "Concr_Grade", V(5), grade + "XD2 is C35/45", V(6)},
      {{}, "Main_Diameter", V(12.0), "", V(12.0)},
      {{}, "Main_Diameter", V(10.0), diameter, V(12.0)},
      // Diameters come from the bar list: anything else is refused at once
      // and the field keeps its value.
      {{},
       "Main_Diameter",
       V(11.9),
       bars + "11.9 mm is not one of the choices; choose 6, 8, 10, "
              "12, 14, 16, 20, 25, 28, 32 or 40 mm",
       V(16.0)},
      // The stirrup written back is the smallest bar of at least 8 mm and a
      // quarter of the largest bar the links hold.
      {{}, "Main_Stirrup_Diameter", V(6.0), "", V(6.0)},
      {{},
       "Main_Stirrup_Diameter",
       V(5.0),
       links + "5 mm is not one of the choices; choose 6, 8, 10, 12, 14 or 16 mm",
       V(8.0)},
      {{{"Main_Diameter", V(32)}}, "Main_Stirrup_Diameter", V(8.0), "", V(8.0)},
      {{{"Main_Diameter", V(32)}}, "Main_Stirrup_Diameter", V(6.0), stirrup, V(8.0)},
      {{{"Main_Diameter", V(40)}}, "Main_Stirrup_Diameter", V(8.0), stirrup, V(10.0)},
      {{{"Main_Diameter", V(40)}}, "Main_Stirrup_Diameter", V(10.0), "", V(10.0)},
      // Whichever diameter is edited last: side bars too.
      {{{"Main_Stirrup_Diameter", V(6.0)}},
       "Add_X_Diameter",
       V(32.0),
       stirrup,
       V(8.0),
       "Main_Stirrup_Diameter"},
      // Values no cage can have.
      {{},
       "Concr_Cover",
       V(0.0),
       cover + "0 mm is outside what this value can be; it must be "
               "between 10 and 100 mm",
       V(30.0)},
      {{},
       "Add_X_Number",
       V(-1),
       "Side bars per X face: -1 is outside what this value can be; "
       "it must be between 0 and 20",
       V(std::int64_t{1})},
      {{{"Main_Diameter", V(20)}}, "Main_Stirrup_Spacing", V(200.0), "", V(200.0)},
      {{{"Main_Diameter", V(20)}}, "Main_Stirrup_Spacing", V(201.0), spacing, V(200.0)},
      {{{"Main_Diameter", V(12)}}, "Main_Stirrup_Spacing", V(144.0), "", V(144.0)},
      {{{"Main_Diameter", V(12)}}, "Main_Stirrup_Spacing", V(150.0), spacing, V(140.0)},
      {{{"Main_Diameter", V(14)}}, "Main_Stirrup_Spacing", V(180.0), spacing, V(170.0)},
      // 20 mm bars derive a main spacing of 200.
      {{{"Main_Diameter", V(20)}}, "Add_Stirrup_Top_Spacing", V(120.0), "", V(120.0)},
      {{{"Main_Diameter", V(20)}}, "Add_Stirrup_Top_Spacing", V(121.0), extra, V(120.0)},
      {{{"Main_Diameter", V(20)}}, "Add_Stirrup_Bot_Spacing", V(119.0), "", V(119.0)},
      {{{"Main_Stirrup_Spacing", V(125.0)}}, "Add_Stirrup_Top_Spacing", V(76.0), extra, V(80.0)},
      {{{"Main_Stirrup_Spacing", V(175.0)}}, "Add_Stirrup_Bot_Spacing", V(106.0), extra, V(100.0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " = " + c.value.ToString() +
                 (c.before.empty() ? "" : " after " + c.before[0].first));
    ToolRun run;
    run.Single();
    for (const auto& [name, value] : c.before) run.Edit(name, value);
    run.session.ClearMessages();
    const int redraws = run.tool.palette_service()->GetRedrawCount();
    const double other_top = run.Param("Add_Stirrup_Top_Spacing").Number();
    const auto out = Printed([&] { run.Edit(c.name, c.value); });
    EXPECT_EQ(out, "");
    if (c.message.empty()) {
      EXPECT_TRUE(run.Messages().empty()) << run.Messages().front();
    } else {
      EXPECT_EQ(run.Messages(), std::vector<std::string>{c.message});
      // A refused value changes nothing; a corrected one is redrawn.
      const bool refused = c.message.find("is not one of the choices") != std::string::npos ||
                           c.message.find("outside what this value can be") != std::string::npos;
      EXPECT_EQ(run.tool.palette_service()->GetRedrawCount() > redraws, !refused);
    }
    EXPECT_EQ(run.Param(c.checked.empty() ? c.name : c.checked).value(), c.stored);
    if (c.name == "Add_Stirrup_Bot_Spacing") {
      EXPECT_EQ(run.Param("Add_Stirrup_Top_Spacing").Number(), other_top);
    }
  }
}

TEST_F(PierTool, MainDiameterBelowTheMinimumRebuildsBeforeAndAfterTheCorrection) {
  ToolRun run;
  run.Single();
  ASSERT_EQ(run.Param("Main_Stirrup_Spacing").Number(), 190);
  // What the cage and the palette hold when the user is told.
  double cage_at_message = 0, spacing_at_message = 0, diameter_at_message = 0;
  run.session.SetMessageHandler([&](const std::string&, int) {
    cage_at_message = CornerBarDiameter(run.tool.reinforcement());
    spacing_at_message = run.Param("Main_Stirrup_Spacing").Number();
    diameter_at_message = run.Param("Main_Diameter").Number();
    return HostUtil::IDOK;
  });
  run.Edit("Main_Diameter", 10);
  ASSERT_EQ(run.Messages().size(), 1u);
  // First the cage of the rejected diameter, with the spacings derived from it...
  EXPECT_EQ(cage_at_message, 10);
  EXPECT_EQ(spacing_at_message, 120);
  EXPECT_EQ(diameter_at_message, 10);
  // ...then 12 written back and the cage rebuilt with it.
  EXPECT_EQ(run.Param("Main_Diameter").Number(), 12);
  EXPECT_EQ(CornerBarDiameter(run.tool.reinforcement()), 12);
  EXPECT_EQ(run.Param("Main_Stirrup_Spacing").Number(), 120);
  EXPECT_EQ(run.Param("Add_Stirrup_Top_Spacing").Number(), 70);
}

TEST_F(PierTool, MainDiameterBelowTheMinimumIsCorrectedOnAStackedCage) {
  ToolRun run;
  run.Click("C1");
  run.Click("C2");
  run.tool.on_control_event(kFinish);
  run.session.ClearMessages();
  run.Edit("Main_Diameter", 10);
  EXPECT_EQ(run.Messages(),
            std::vector<std::string>{"Main Column Rebar Diameter \u00D8min = 12 mm!"});
  EXPECT_EQ(run.Param("Main_Diameter").Number(), 12);
  EXPECT_EQ(CornerBarDiameter(run.tool.reinforcement()), 12);
}

// ---------------------------------------------------------------------------
// Failures.

TEST_F(PierTool, CageChecksShowTheirMessagesInOrderAndStopTheDraw) {
  const std::string ratio = "Please check again.\nMax Column Reinforcement Area is 9%! ";
  const std::string cover =
      "Concrete Cover not enough\nPlease consider to change the Concrete Cover or Exposure";
  ToolRun run;
  run.Single();
  for (const char* name : {"Add_X_Diameter", "Add_Y_Diameter", "Main_Diameter"}) run.Edit(name, 40);
  run.Edit("Add_X_Number", 3);
  run.Edit("Add_Y_Number", 3);
  run.session.ClearMessages();
  const auto blocked = Printed([&] { run.tool.on_control_event(kDraw); });
  // The tool's own checks first, then the detailing rules: three 40 mm
  // bars on a face of 300 also stand too close.
  ASSERT_GE(run.Messages().size(), 3u);
  EXPECT_EQ(run.Messages()[0], ratio);
  EXPECT_EQ(run.Messages()[1], cover);
  EXPECT_EQ(run.Messages()[2].rfind("Blocked: the bars on the X faces stand", 0), 0u)
      << run.Messages()[2];
  EXPECT_TRUE(run.tool.cage_error());
  EXPECT_TRUE(run.Doc().GetCreatedBatches().empty());
  // Draw says what blocked it.
  EXPECT_TRUE(OneLineWith(blocked, "created nothing: blocked by more than 9 % steel"));

  // Fewer bars: the cover finding alone warns and the bars are created.
  run.Edit("Add_X_Number", 1);
  run.Edit("Add_Y_Number", 1);
  run.session.ClearMessages();
  const auto created = Printed([&] { run.tool.on_control_event(kDraw); });
  EXPECT_EQ(NotWarnings(run.Messages()), std::vector<std::string>{cover});
  EXPECT_EQ(run.Doc().GetCreatedBatches().size(), 1u);
  EXPECT_TRUE(OneLineWith(created, "created "));

  // A column too thin to reinforce is refused when the cage is made, on
  // Finish and again on every Draw.
  ToolRun thin;
  thin.Click("C9");
  thin.tool.on_control_event(kFinish);
  const std::vector<std::string> refused{
      "Please check again.\nIf h/b > 4 the element is classified as a wall.",
      "Please check again.\nColumn Width is now smaller than 200"};
  EXPECT_EQ(thin.Messages(), refused);
  EXPECT_TRUE(thin.tool.reinforcement().empty());
  thin.session.ClearMessages();
  thin.tool.on_control_event(kDraw);
  EXPECT_EQ(thin.Messages(), refused);
  EXPECT_TRUE(thin.Doc().GetCreatedBatches().empty());
}

TEST_F(PierTool, ErrorsOfAnalysisAndRebuildArePrintedAndTheToolGoesOn) {
  // A body with 8 vertices that is not a box: the analysis fails on Finish.
  ToolRun run;
  run.Click("S8");
  const auto analysis = Printed([&] { run.tool.on_control_event(kFinish); });
  EXPECT_TRUE(OneLineWith(analysis, "not rectangular"));
  EXPECT_TRUE(run.Messages().empty());
  EXPECT_EQ(run.Shown(), "cage_single.pal");  // what was done before the error stays done
  EXPECT_FALSE(run.tool.preview());
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(run.Move()); }), "");

  // A lap table without the 20 mm bar's length: a stacked cage of 20 mm
  // bars cannot be built. The rebuild of the diameter's edit reaches the
  // host; those after later edits print why; no cage stays on screen (never
  // the one before, which the fields no longer describe); and the next good
  // value brings the tool back.
  const std::string broken = ToolDirWith("broken_table", {});
  {
    std::ifstream in(fs::path(broken) / "lap_length_for_tension.csv");
    std::ostringstream text;
    std::string line;
    bool blanked = false;
    while (std::getline(in, line)) {
      if (!blanked && line.rfind("20,", 0) == 0) {
        line = "20" + std::string(14, ',');
        blanked = true;
      }
      text << line << "\n";
    }
    std::ofstream(fs::path(broken) / "lap_length_for_tension.csv") << text.str();
  }
  ToolRun single(broken);
  single.Click("C1");
  single.Click("C2");
  single.tool.on_control_event(kFinish);
  ASSERT_FALSE(single.tool.reinforcement().empty());
  EXPECT_ANY_THROW(single.Edit("Main_Diameter", 20.0));
  EXPECT_TRUE(single.tool.reinforcement().empty());
  single.Move();
  EXPECT_TRUE(single.Doc().GetPreview().empty());
  EXPECT_TRUE(
      OneLineWith(Printed([&] { single.Edit("Add_X_Number", 2); }), "lap_length_for_tension"));
  EXPECT_ANY_THROW(single.tool.on_control_event(kDraw));
  EXPECT_ANY_THROW(single.tool.on_control_event(kRebuild));
  EXPECT_TRUE(single.Doc().GetCreatedBatches().empty());
  single.Edit("Main_Diameter", 16.0);
  single.tool.on_control_event(kDraw);
  EXPECT_EQ(single.Doc().GetCreatedBatches().size(), 1u);
  EXPECT_TRUE(NotWarnings(single.Messages()).empty());
  // A value no cage can have is refused before it reaches the cage.
  single.session.ClearMessages();
  EXPECT_EQ(Printed([&] { single.Edit("Main_Stirrup_Spacing", 0.0); }), "");
  EXPECT_EQ(single.Messages().size(), 1u);
  EXPECT_NE(single.Param("Main_Stirrup_Spacing").Number(), 0);
}

TEST_F(PierTool, ButtonsThatNeedACageBeforeFinishAreAClearErrorForTheHost) {
  ToolRun run;
  run.Click("C1");
  for (int event : {kDraw, kRebuild}) {
    const std::string error = ErrorOf([&] { run.tool.on_control_event(event); });
    EXPECT_NE(error.find("Finish"), std::string::npos) << error;
  }
  run.tool.on_control_event(4711);  // not a button of ours: nothing happens
  // The run goes on as if nothing had happened.
  run.tool.on_control_event(kFinish);
  run.tool.on_control_event(kDraw);
  EXPECT_EQ(run.Doc().GetCreatedBatches().size(), 1u);
}

TEST_F(PierTool, WithoutAReadablePaletteCancelNamesThePaletteFile) {
  ToolRun run(ScratchDir("no_palettes").string());
  EXPECT_EQ(run.Shown(), "");
  EXPECT_EQ(run.tool.palette_service(), nullptr);
  const std::string error = ErrorOf([&] { run.tool.on_cancel_function(); });
  EXPECT_NE(error.find("Selection_rk.pal"), std::string::npos) << error;
  run.Click("C1");
  EXPECT_TRUE(
      OneLineWith(Printed([&] { run.tool.on_control_event(kFinish); }), "Selection_rk.pal"));
}

// ---------------------------------------------------------------------------
// The module as the host loads it.

TEST_F(PierTool, PluginModuleLoadedAtRunTimeRunsPickFinishDraw) {
  const auto module = HostUtil::PluginModule::Load(PIER_PLUGIN_DIR "/libpiertool.so");
  // The tool runs in hosts of its own major API version only.
  EXPECT_TRUE(module.check_host_version(nullptr, HostUtil::kHostApiVersion));
  EXPECT_TRUE(module.check_host_version(nullptr, "1.7"));
  for (const char* other : {"2.0", "0.9", "10", "1x", "", "any"}) {
    EXPECT_FALSE(module.check_host_version(nullptr, other)) << other;
  }
  EXPECT_NO_THROW(module.create_element(nullptr, nullptr));

  HostUtil::Session session;
  HostUtil::SessionScope scope(session);
  HostInput::CoordinateInput input(TestModel(), nullptr);
  HostUtil::StringTableService strings;
  const auto tool = module.create_interactor(input, PIER_TOOL_DIR, strings);
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(input.GetPrompt(), kSelect);
  EXPECT_TRUE(tool->process_mouse_msg(HostInput::MouseMessage::Click("C1"), {}, {}));
  tool->on_control_event(kFinish);
  EXPECT_EQ(input.GetPrompt(), kCustomize);
  EXPECT_TRUE(tool->process_mouse_msg(HostInput::MouseMessage::Move(), {}, {}));
  EXPECT_FALSE(input.GetInputViewDocument().GetPreview().empty());
  tool->on_control_event(kDraw);
  ASSERT_EQ(input.GetInputViewDocument().GetCreatedBatches().size(), 1u);
  EXPECT_EQ(input.GetInputViewDocument().GetCreatedBatches()[0].elements.size(),
            input.GetInputViewDocument().GetPreview().size());
  EXPECT_TRUE(NotWarnings(session.Messages()).empty());
  EXPECT_TRUE(tool->on_cancel_function());
  EXPECT_EQ(session.GetShownPalette(), nullptr);
}

TEST_F(PierTool, PluginModuleLetsNoErrorOutAndPassesEveryKindOfValue) {
  const auto module = HostUtil::PluginModule::Load(PIER_PLUGIN_DIR "/libpiertool.so");
  HostUtil::Session session;
  HostUtil::SessionScope scope(session);
  HostInput::CoordinateInput input(TestModel(), nullptr);
  HostUtil::StringTableService strings;
  {
    // Without its palettes the tool fails at the first event that needs one:
    // the failure arrives on the host's side as the tool's error, with its text.
    const auto tool = module.create_interactor(input, "/nonexistent/PierTool", strings);
    try {
      tool->on_cancel_function();
      ADD_FAILURE() << "cancel without a palette did not fail";
    } catch (const HostUtil::PluginError& e) {
      EXPECT_NE(std::string(e.what()).find("cancel: no palette is open"), std::string::npos)
          << e.what();
    }
  }
  const auto tool = module.create_interactor(input, PIER_TOOL_DIR, strings);
  tool->process_mouse_msg(HostInput::MouseMessage::Click("C1"), {}, {});
  tool->on_control_event(kFinish);
  const auto palette = session.GetShownPalette();
  ASSERT_NE(palette, nullptr);
  const auto& ele = *palette->GetBuildingElements().at(0);
  // A number, an integer and a text travel through the C table unchanged.
  tool->modify_element_property(palette->PageOf("Concr_Cover"), "Concr_Cover", 35.0);
  EXPECT_EQ(ele["Concr_Cover"].Number(), 35.0);
  tool->modify_element_property(palette->PageOf("Main_Diameter"), "Main_Diameter",
                                std::int64_t{20});
  EXPECT_EQ(ele["Main_Diameter"].Number(), 20.0);
  tool->modify_element_property(palette->PageOf("Main_Diameter"), "Main_Diameter",
                                std::string("16"));
  EXPECT_EQ(ele["Main_Diameter"].Number(), 16.0);
}

// Modules built for another interface, or that offer none, are refused with
// the file named; nothing of theirs is called.
TEST(PluginModule, RefusesAModuleOfAnotherInterfaceVersion) {
  const std::string foreign = PIER_FOREIGN_MODULE;
  const std::string silent = PIER_SILENT_MODULE;
  EXPECT_THAT(ErrorOf([&] { HostUtil::PluginModule::Load(foreign); }),
              testing::AllOf(testing::HasSubstr(foreign),
                             testing::HasSubstr("speaks plug-in interface version 99"),
                             testing::HasSubstr("this host speaks plug-in interface version 1")));
  EXPECT_THAT(ErrorOf([&] { HostUtil::PluginModule::Load(silent); }),
              testing::AllOf(testing::HasSubstr(silent),
                             testing::HasSubstr("cannot speak the interface of this host")));
  // A host of another API version is refused by the tool itself.
  EXPECT_THAT(
      ErrorOf([&] { HostUtil::PluginModule::Load(PIER_PLUGIN_DIR "/libpiertool.so", "2.1"); }),
      testing::HasSubstr("does not run in a host of API version 2.1"));
}

}  // namespace
