// Whole buildings from IFC files: the same building gives the same cages,
// marks and schedule wherever its file places it, and the public sample
// files of real authoring tools go through `building`.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <sstream>

#include "app/building.h"
#include "app/export/exporter.h"
#include "app/generate.h"
#include "host/ifc_model.h"
#include "host/model_reader.h"

namespace {

using namespace pierhost;
using HostElementAdapter::ElementModel;
using HostGeo::Point3D;
namespace fs = std::filesystem;

const HostUtil::PluginModule& Plugin() {
  static const auto plugin = HostUtil::PluginModule::Load(PIER_PLUGIN_DIR "/libpiertool.so");
  return plugin;
}

// Where a building file puts the building: turned about the origin, then
// moved, its coordinates rounded as an exporter rounds them.
struct Frame {
  double degrees = 0;
  double x = 0, y = 0;  // mm
  double step = 0;      // rounding of written coordinates, mm; 0 for none
  Point3D Apply(double u, double v, double z) const {
    const double t = degrees * std::numbers::pi / 180;
    const auto round = [&](double q) { return step > 0 ? std::round(q / step) * step : q; };
    return {round(x + u * std::cos(t) - v * std::sin(t)),
            round(y + u * std::sin(t) + v * std::cos(t)), z};
  }
  Point3D Back(const Point3D& p) const {
    const double t = degrees * std::numbers::pi / 180, u = p.X() - x, v = p.Y() - y;
    return {u * std::cos(t) + v * std::sin(t), -u * std::sin(t) + v * std::cos(t), p.Z()};
  }
};

std::string Real(double v) {
  std::ostringstream s;
  s.precision(17);
  s << v;
  std::string text = s.str();
  if (text.find_first_of(".e") == std::string::npos) text += ".";
  return text;
}

// A column of the test building: its first corner and sides in the
// building's own frame, mm, and its storey (0 or 1).
struct TestColumn {
  const char* name;
  double u, v, w, l;
  int storey;
};
const std::vector<TestColumn> kColumns{
    {"A1", 0, 0, 400, 600, 0},     {"A2", 0, 0, 400, 600, 1},       // a stacked pair
    {"B1", 6000, 0, 300, 300, 0},                                   // a single column
    {"C1", 12000, 0, 250, 500, 0}, {"C2", 12025, 50, 200, 400, 1},  // inset above
    {"D1", 0, 6000, 200, 200, 0}};                                  // the smallest allowed
// A wall-like column, 1300 mm long: its additional link zones are as long
// as it is, rounded up to 50 mm.
const TestColumn kLong{"E1", 6000, 6000, 300, 1300, 0};

// A building of two storeys in IFC4 (mm): each column an extruded outline
// written in world coordinates, as exports with the world frame give them.
std::string BuildingFile(const Frame& frame, const std::vector<TestColumn>& columns) {
  std::ostringstream f;
  int n = 100;
  f << "ISO-10303-21;HEADER;FILE_DESCRIPTION((''),'2;1');FILE_NAME('','',(''),(''),'','','');"
       "FILE_SCHEMA(('IFC4'));ENDSEC;DATA;\n"
       "#1=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);\n#2=IFCUNITASSIGNMENT((#1));\n"
       "#3=IFCPROJECT('0Project______________',$,'Frame test',$,$,$,$,$,#2);\n"
       "#4=IFCCARTESIANPOINT((0.,0.,0.));\n#5=IFCDIRECTION((0.,0.,1.));\n"
       "#6=IFCAXIS2PLACEMENT3D(#4,$,$);\n#7=IFCLOCALPLACEMENT($,#6);\n"
       "#8=IFCMATERIAL('Concrete',$,$);\n"
       "#10=IFCBUILDINGSTOREY('0Storey0______________',$,'Level 0',$,$,#7,$,$,.ELEMENT.,0.);\n"
       "#11=IFCCARTESIANPOINT((0.,0.,3250.));\n#12=IFCAXIS2PLACEMENT3D(#11,$,$);\n"
       "#13=IFCLOCALPLACEMENT($,#12);\n"
       "#14=IFCBUILDINGSTOREY('0Storey1______________',$,'Level 1',$,$,#13,$,$,.ELEMENT.,3250.);\n";
  std::vector<int> ids[2];
  for (const auto& c : columns) {
    std::string points;
    for (const auto& [du, dv] : {std::pair{0.0, 0.0}, {c.w, 0.0}, {c.w, c.l}, {0.0, c.l}}) {
      const Point3D p = frame.Apply(c.u + du, c.v + dv, 0);
      f << "#" << ++n << "=IFCCARTESIANPOINT((" << Real(p.X()) << "," << Real(p.Y()) << "));\n";
      points += (points.empty() ? "#" : ",#") + std::to_string(n);
    }
    const int first = n - 3;
    f << "#" << ++n << "=IFCPOLYLINE((" << points << ",#" << first << "));\n";
    f << "#" << n + 1 << "=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#" << n << ");\n";
    f << "#" << n + 2 << "=IFCEXTRUDEDAREASOLID(#" << n + 1 << ",#6,#5,3000.);\n";
    f << "#" << n + 3 << "=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(#" << n + 2 << "));\n";
    f << "#" << n + 4 << "=IFCPRODUCTDEFINITIONSHAPE($,$,(#" << n + 3 << "));\n";
    f << "#" << n + 5 << "=IFCCOLUMN('0" << c.name << std::string(21 - std::strlen(c.name), '_')
      << "',$,'" << c.name << "',$,$," << (c.storey ? "#13" : "#7") << ",#" << n + 4 << ",'"
      << c.name << "',$);\n";
    ids[c.storey].push_back(n + 5);
    n += 5;
  }
  std::string all;
  for (int s = 0; s < 2; ++s) {
    std::string list;
    for (const int id : ids[s]) list += (list.empty() ? "#" : ",#") + std::to_string(id);
    all += (all.empty() ? "" : ",") + list;
    f << "#" << ++n << "=IFCRELCONTAINEDINSPATIALSTRUCTURE('0Contains" << s
      << "_____________',$,$,$,(" << list << ")," << (s ? "#14" : "#10") << ");\n";
  }
  f << "#" << ++n << "=IFCRELASSOCIATESMATERIAL('0Material_____________',$,$,$,(" << all
    << "),#8);\nENDSEC;END-ISO-10303-21;\n";
  return f.str();
}

std::shared_ptr<const ElementModel> Read(const std::string& text) {
  return HostIfc::ReadModel(*HostStep::StepFile::Parse(text, "building.ifc"));
}

std::string ScheduleCsv(const std::shared_ptr<const ElementModel>& model,
                        const std::vector<CageRecord>& cages) {
  const ExportInput input{model, cages, "Frame test", "2024-05-01"};
  std::ostringstream out;
  MakeScheduleCsvWriter()->Write(input, BuildSchedule(input), out);
  return out.str();
}

// The same building at the origin and turned 25 degrees 10 km out, written
// to the last digit and with its corners rounded to 0.1 mm: the same
// outcomes, marks and schedule, and (`bars`) the same bars turned back.
void ExpectTheSameCagesWhereverPlaced(const std::vector<TestColumn>& columns, bool bars) {
  const Frame origin;
  // Turned 25 degrees and 10 km out, written to the last digit, and with
  // its corners rounded to 0.1 mm.
  for (const Frame& far : {Frame{25, 1e7, 1e7, 0}, Frame{25, 1e7, 1e7, 0.1}}) {
    SCOPED_TRACE(far.step);
    const auto here = Read(BuildingFile(origin, columns));
    const auto there = Read(BuildingFile(far, columns));
    ASSERT_EQ(here->GetColumns().size(), columns.size());
    ASSERT_EQ(there->GetColumns().size(), columns.size());
    const auto a = ReinforceBuilding(Plugin(), here, PIER_TOOL_DIR, {});
    const auto b = ReinforceBuilding(Plugin(), there, PIER_TOOL_DIR, {});
    ASSERT_EQ(a.columns.size(), b.columns.size());
    for (std::size_t i = 0; i < a.columns.size(); ++i) {
      SCOPED_TRACE(a.columns[i].column);
      EXPECT_EQ(a.columns[i].column, b.columns[i].column);
      EXPECT_EQ(a.columns[i].above, b.columns[i].above);
      EXPECT_EQ(a.columns[i].result, b.columns[i].result);
      EXPECT_EQ(a.columns[i].messages, b.columns[i].messages);
    }
    // The stacked pairs found in both, and cages made.
    EXPECT_EQ(a.columns[0].above, "A2");
    EXPECT_GE(a.cages.size(), 5u);
    EXPECT_EQ(ScheduleCsv(here, a.cages), ScheduleCsv(there, b.cages));
    // And the bars themselves, turned back, within the rounding of the file.
    ASSERT_EQ(a.cages.size(), b.cages.size());
    if (!bars) continue;
    double worst = 0;
    for (std::size_t c = 0; c < a.cages.size(); ++c) {
      ASSERT_EQ(a.cages[c].name, b.cages[c].name);
      ASSERT_EQ(a.cages[c].placements.size(), b.cages[c].placements.size());
      for (std::size_t p = 0; p < a.cages[c].placements.size(); ++p) {
        const auto bars_a = a.cages[c].placements[p].GetBars();
        const auto bars_b = b.cages[c].placements[p].GetBars();
        ASSERT_EQ(bars_a.size(), bars_b.size()) << a.cages[c].name << " placement " << p;
        for (std::size_t k = 0; k < bars_a.size(); ++k) {
          ASSERT_EQ(bars_a[k].size(), bars_b[k].size());
          for (std::size_t q = 0; q < bars_a[k].size(); ++q) {
            worst = std::max(worst, bars_a[k][q].GetDistance(far.Back(bars_b[k][q])));
          }
        }
      }
    }
    EXPECT_LT(worst, 0.1);  // mm
  }
}

TEST(IfcBuilding, TheSameBuildingGivesTheSameMarksAndScheduleAtTheOriginAndTurnedFarAway) {
  ExpectTheSameCagesWhereverPlaced(kColumns, false);
}

// A column's sides, measured from its corners turned and 10 km out, come to
// 300.0000000002 mm and the like; the cage's lengths round to 50 mm through
// such noise, so its links and ties stand where they do at the origin.
TEST(IfcBuilding, TheSameBuildingGivesTheSameCagesAtTheOriginAndTurnedFarAway) {
  auto columns = kColumns;
  columns.push_back(kLong);
  ExpectTheSameCagesWhereverPlaced(columns, true);
}

// The generator's building as a model file and as an IFC file (mapped
// sections, placements turned half a turn, walls, slabs, quantities): the
// same cages, marks and schedule.
TEST(IfcBuilding, TheGeneratedBuildingGivesTheSameScheduleAsModelFileAndAsIfc) {
  GenerateOptions o;
  o.storeys = 4;
  o.grid_x = 4;
  o.grid_y = 3;
  const auto json = HostElementAdapter::ParseModelFile(GenerateBuilding(o), "generated.json");
  const auto ifc = Read(GenerateIfcBuilding(o));
  ASSERT_EQ(ifc->GetColumns().size(), json->GetColumns().size());
  const auto a = ReinforceBuilding(Plugin(), json, PIER_TOOL_DIR, {});
  const auto b = ReinforceBuilding(Plugin(), ifc, PIER_TOOL_DIR, {});
  ASSERT_EQ(a.cages.size(), b.cages.size());
  EXPECT_GT(a.cages.size(), 30u);
  EXPECT_EQ(ScheduleCsv(json, a.cages), ScheduleCsv(ifc, b.cages));
}

// `building` on each public sample file: what it takes gets its cages.
TEST(IfcBuilding, TheSampleFilesGoThroughBuilding) {
  const fs::path samples = PIER_IFC_SAMPLES;
  if (!fs::is_directory(samples)) {
    GTEST_SKIP() << "the sample IFC files are not in " << samples
                 << " (configure with -DPIER_IFC_SAMPLES=<folder>)";
  }
  const auto model = HostElementAdapter::ReadModel((samples / "revit2021-example.ifc").string());
  const auto result = ReinforceBuilding(Plugin(), model, PIER_TOOL_DIR, {});
  ASSERT_EQ(result.columns.size(), 5u);
  for (const auto& c : result.columns) {
    // Their bars made (the cage may warn of what the model does not show,
    // such as the slab the bars are anchored in).
    EXPECT_TRUE(c.result == ColumnOutcome::Result::Reinforced ||
                c.result == ColumnOutcome::Result::Warned)
        << c.column;
  }
  EXPECT_EQ(result.cages.size(), 5u);
  // The others hold no column the tool can take: refused, never dropped.
  for (const char* file : {"tekla2019-mini-project.ifc", "archicad11-round-columns.ifc",
                           "revit2021-structural-sample.ifc"}) {
    const auto m = HostElementAdapter::ReadModel((samples / file).string());
    EXPECT_TRUE(m->GetColumns().empty()) << file;
    EXPECT_EQ(m->GetSource()->refused.size(), m->GetSource()->columns_in_file) << file;
  }
}

}  // namespace
