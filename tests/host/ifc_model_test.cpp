#include "host/ifc_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>

#include "host/model_reader.h"
#include "support/expect_geo.h"

namespace {

using HostElementAdapter::ElementModel;
using HostElementAdapter::ReadModel;
using HostGeo::Point2D;
namespace fs = std::filesystem;

const fs::path kData = fs::path(PIER_TEST_DATA_DIR) / "ifc";
const fs::path kSamples = PIER_IFC_SAMPLES;

const HostElementAdapter::Element& Get(const ElementModel& m, const std::string& id) {
  const auto i = m.Find(id);
  if (!i) throw std::logic_error("no element " + id);
  return m.GetElements()[*i];
}

// Refused columns counted by reason.
std::map<std::string, int> Refused(const ElementModel& m) {
  std::map<std::string, int> out;
  for (const auto& r : m.GetSource()->refused) ++out[r.reason];
  return out;
}

// The plan corner (u, v) mm of a storey frame at (x, y) m turned by `degrees`.
Point2D Site(double x, double y, double degrees, double u, double v) {
  const double t = degrees * std::numbers::pi / 180;
  return {x * 1000 + u * std::cos(t) - v * std::sin(t),
          y * 1000 + u * std::sin(t) + v * std::cos(t)};
}

bool SamePlan(const std::vector<Point2D>& plan, std::vector<Point2D> expected, double tol) {
  // The same corners, counter-clockwise, from any first one.
  for (int shift = 0; shift < 4; ++shift) {
    bool all = true;
    for (std::size_t k = 0; k < 4; ++k)
      all = all && plan[k].GetDistance(expected[(k + shift) % 4]) <= tol;
    if (all) return true;
  }
  return false;
}

TEST(IfcModel, MetresMappedItemsTurnedPlacementsAndSidewaysExtrusions) {
  const auto m = ReadModel((kData / "ifc4_metres_mapped.ifc").string());
  const auto& source = *m->GetSource();
  EXPECT_EQ(source.schema, "IFC4");
  EXPECT_EQ(source.length_unit.millimetres, 1000);
  EXPECT_EQ(source.length_unit.prefix, "");
  EXPECT_EQ(m->GetName(), "Mapped columns in metres");
  ASSERT_EQ(source.storeys.size(), 2u);
  EXPECT_EQ(source.storeys[1].name, "First floor");
  EXPECT_EQ(source.storeys[1].level, 3250);
  EXPECT_EQ(source.columns_in_file, 11u);
  EXPECT_EQ(Refused(*m), (std::map<std::string, int>{{"Brep body", 1},
                                                     {"L-shaped or notched section", 1},
                                                     {"clipped", 1},
                                                     {"cut by an opening", 1},
                                                     {"not concrete", 1},
                                                     {"round section", 1},
                                                     {"tilted", 1}}));
  // C1: 300 x 500 off its profile's centre on a placement turned 90
  // degrees, in a site 10 km out turned 25 degrees; C1-up mapped onto the
  // same plan one storey up.
  const std::vector<Point2D> c1{
      Site(10000, 5000, 25, 1500, 3000), Site(10000, 5000, 25, 2000, 3000),
      Site(10000, 5000, 25, 2000, 3300), Site(10000, 5000, 25, 1500, 3300)};
  const auto& lower = Get(*m, "C1");
  EXPECT_TRUE(SamePlan(lower.plan, c1, 1e-6));
  EXPECT_EQ(lower.bottom, 0);
  EXPECT_EQ(lower.top, 3000);
  const auto& upper = Get(*m, "C1-up");
  EXPECT_TRUE(SamePlan(upper.plan, c1, 1e-6));
  EXPECT_NEAR(upper.bottom, 3250, 1e-9);
  EXPECT_NEAR(upper.top, 6000, 1e-9);
  EXPECT_EQ(upper.source.type_name, "Rect 300x500");  // and its material through the type
  EXPECT_EQ(upper.source.materials, std::vector<std::string>{"Concrete C30/37"});
  EXPECT_EQ(upper.source.storey, 1u);
  // C5 was drawn upright and extruded sideways: 400 x 400, 3 m tall.
  const auto& sideways = Get(*m, "C5");
  EXPECT_TRUE(SamePlan(sideways.plan,
                       {Site(10000, 5000, 25, 6000, 2600), Site(10000, 5000, 25, 6400, 2600),
                        Site(10000, 5000, 25, 6400, 3000), Site(10000, 5000, 25, 6000, 3000)},
                       1e-6));
  EXPECT_EQ(sideways.top - sideways.bottom, 3000);
  EXPECT_EQ(sideways.source.materials, std::vector<std::string>{"B\u00e9ton arm\u00e9"});
  EXPECT_EQ(Get(*m, "C6").source.materials, std::vector<std::string>{"Hormig\u00f3n HA-30"});
  // The wall's layers, listed from the left of its axis: the insulation
  // (laid out last in the positive sense), then the concrete.
  const auto& wall = Get(*m, "W1");
  EXPECT_NEAR(wall.thickness, 300, 1e-6);
  std::vector<double> layers;
  for (const auto c : wall.children) {
    if (m->GetElements()[c].kind == HostElementAdapter::ElementKind::WallLayer) {
      layers.push_back(m->GetElements()[c].thickness);
    }
  }
  ASSERT_EQ(layers.size(), 2u);
  EXPECT_NEAR(layers[0], 100, 1e-6);
  EXPECT_NEAR(layers[1], 200, 1e-6);
  // Steel is taken when every material is asked for.
  EXPECT_TRUE(
      ReadModel((kData / "ifc4_metres_mapped.ifc").string(), {.all_columns = true})->Find("C12"));
}

TEST(IfcModel, FeetIndexedOutlinesAndDerivedProfilesOfIfc4x3) {
  const auto m = ReadModel((kData / "ifc4x3_feet_indexed.ifc").string());
  const auto& source = *m->GetSource();
  EXPECT_EQ(source.schema, "IFC4X3_ADD2");
  EXPECT_NEAR(source.length_unit.millimetres, 304.8, 1e-9);
  EXPECT_TRUE(source.length_unit.converted);
  EXPECT_EQ(source.length_unit.name, "FOOT");
  EXPECT_EQ(Refused(*m), (std::map<std::string, int>{{"curved section", 1}}));
  EXPECT_TRUE(SamePlan(Get(*m, "D1").plan,
                       {{1524, 1524}, {1981.2, 1524}, {1981.2, 2133.6}, {1524, 2133.6}}, 1e-6));
  EXPECT_NEAR(Get(*m, "D2").bottom, 3048, 1e-9);
  // A 1 x 2 ft rectangle turned a quarter by its derived profile.
  EXPECT_TRUE(SamePlan(Get(*m, "D5").plan,
                       {{10668, 1524}, {11277.6, 1524}, {11277.6, 1828.8}, {10668, 1828.8}}, 1e-6));
  // The wall's layers in the negative sense from its reference line: the
  // concrete lies on the left.
  const auto& wall = Get(*m, "W2");
  EXPECT_NEAR(m->GetElements()[wall.children.at(0)].thickness, 228.6, 1e-6);
}

// A small IFC4 file around `data`, in millimetres.
std::string Ifc4(const std::string& data, const std::string& schema = "IFC4") {
  return "ISO-10303-21;HEADER;FILE_DESCRIPTION((''),'2;1');FILE_NAME('','',(''),(''),'','','');"
         "FILE_SCHEMA(('" +
         schema +
         "'));ENDSEC;DATA;\n"
         "#1=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);\n#2=IFCUNITASSIGNMENT((#1));\n"
         "#3=IFCPROJECT('0Project______________',$,'P',$,$,$,$,$,#2);\n"
         "#4=IFCCARTESIANPOINT((0.,0.,0.));\n#5=IFCDIRECTION((0.,0.,1.));\n"
         "#6=IFCMATERIAL('Concrete',$,$);\n" +
         data + "ENDSEC;END-ISO-10303-21;\n";
}

std::shared_ptr<const ElementModel> Parse(const std::string& text) {
  return HostIfc::ReadModel(*HostStep::StepFile::Parse(text, "t.ifc"));
}

// A concrete column #100 with placement #101 and body items `items`.
std::string Column(const std::string& items, const std::string& placement = "#101") {
  return "#101=IFCLOCALPLACEMENT($,#102);\n#102=IFCAXIS2PLACEMENT3D(#4,$,$);\n"
         "#103=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(" +
         items +
         "));\n#104=IFCPRODUCTDEFINITIONSHAPE($,$,(#103));\n"
         "#100=IFCCOLUMN('0Column_______________',$,'C',$,$," +
         placement +
         ",#104,'7',$);\n#105=IFCRELASSOCIATESMATERIAL('0Material_____________',$,$,$,(#100),#6);"
         "\n";
}

TEST(IfcModel, OptionalPositionsAndDefaultAxesOfTheSchema) {
  // No profile position, no extrusion position (both optional since IFC4),
  // and a mapping whose second axis follows from the first.
  const auto m =
      Parse(Ifc4(Column("#110") +
                 "#111=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,300.,500.);\n"
                 "#112=IFCEXTRUDEDAREASOLID(#111,$,#5,3000.);\n"
                 "#113=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(#112));\n"
                 "#114=IFCREPRESENTATIONMAP(#102,#113);\n#115=IFCDIRECTION((0.,1.,0.));\n"
                 "#116=IFCCARTESIANTRANSFORMATIONOPERATOR3D(#115,$,#4,$,$);\n#110=IFCMAPPEDITEM(#"
                 "114,#116);\n"));
  const auto& c = Get(*m, "C");
  // The profile turned a quarter: 500 along x, 300 along y.
  EXPECT_TRUE(SamePlan(c.plan, {{-250, -150}, {250, -150}, {250, 150}, {-250, 150}}, 1e-9));
  EXPECT_EQ(c.top, 3000);
}

TEST(IfcModel, AFaultInWhatAColumnNeedsRefusesThatColumnNamingLineAndInstance) {
  const auto m =
      Parse(Ifc4(Column("#110", "#199") + "#111=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,300.,500.);\n"
                                          "#110=IFCEXTRUDEDAREASOLID(#111,$,#5,3000.);\n"));
  ASSERT_EQ(m->GetSource()->refused.size(), 1u);
  const auto& r = m->GetSource()->refused.front();
  EXPECT_EQ(r.reason, "unreadable in the file");
  EXPECT_EQ(r.detail, "t.ifc:12: #100=IFCCOLUMN refers to #199, which the file does not hold");
  try {
    m->Resolve("7");  // by its Tag
    ADD_FAILURE();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(
        std::string(e.what()).find("'C' (GlobalId 0Column_______________, Tag 7) is not taken"),
        std::string::npos)
        << e.what();
  }
}

TEST(IfcModel, AColumnOfASizeNoBuildingHasIsRefusedNotTheFile) {
  // 200 m tall: beyond the sizes the model takes.
  const auto m = Parse(Ifc4(Column("#110") + "#111=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,300.,500.);\n"
                                             "#110=IFCEXTRUDEDAREASOLID(#111,$,#5,200000.);\n"));
  EXPECT_TRUE(m->GetColumns().empty());
  ASSERT_EQ(m->GetSource()->refused.size(), 1u);
  EXPECT_EQ(m->GetSource()->refused[0].reason, "outside the sizes of a building");
  EXPECT_NE(m->GetSource()->refused[0].detail.find("column 'C'"), std::string::npos);
}

TEST(IfcModel, FilesItCannotReadAreErrorsThatSayWhy) {
  const auto error = [](const std::string& text) {
    try {
      Parse(text);
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(error(Ifc4("", "IFC2X2_FINAL")),
            "t.ifc: the schema IFC2X2_FINAL is not read; IFC2X3, IFC4 and IFC4X3 files are");
  EXPECT_EQ(error("ISO-10303-21;HEADER;FILE_SCHEMA(('IFC4'));ENDSEC;DATA;\n"
                  "#1=IFCUNITASSIGNMENT(());\n#2=IFCPROJECT('0',$,'P',$,$,$,$,$,#1);\n"
                  "ENDSEC;END-ISO-10303-21;"),
            "t.ifc:2: #1=IFCUNITASSIGNMENT declares no length unit");
  EXPECT_EQ(error(Ifc4("#7=IFCWALL('0W',$,'W',$,$,$,$,$,$)\n")),
            "t.ifc:9: #7: expected ';' at the end of the instance, found 'E'");
}

TEST(IfcModel, ConcreteInTheUsualLanguagesAndStrengthClasses) {
  for (const char* name :
       {"Concrete, Cast-in-Place gray", "CONCRETE/BETON", "Stahlbeton", "B\u00e9ton arm\u00e9",
        "Hormig\u00f3n", "HORMIG\u00d3N", "Calcestruzzo", "Betong",
        "\u0411\u0435\u0442\u043e\u043d B25", "C30/37", "LC25/28 light", "Ortbeton C25/30"}) {
    EXPECT_TRUE(HostIfc::IsConcrete(name)) << name;
  }
  for (const char* name : {"Metal - Steel - 345 MPa", "S355", "Glue Laminated Timber", "PVC",
                           "ABC30/37", "Type C-3"}) {
    EXPECT_FALSE(HostIfc::IsConcrete(name)) << name;
  }
}

// The public files of real authoring tools: every column taken or refused,
// by reason, as their SOURCES.txt describes them.
TEST(IfcSamples, ColumnsTakenAndRefusedByReason) {
  if (!fs::is_directory(kSamples)) {
    GTEST_SKIP() << "the sample IFC files are not in " << kSamples
                 << " (configure with -DPIER_IFC_SAMPLES=<folder>)";
  }
  struct Case {
    const char* file;
    bool all_columns;
    std::size_t taken;
    std::map<std::string, int> refused;
  };
  const std::vector<Case> cases{
      {"revit2021-example.ifc",
       false,
       5,
       {{"L-shaped or notched section", 6}, {"not rectangular", 1}, {"not concrete", 30}}},
      {"revit2021-example.ifc",
       true,
       5,
       {{"L-shaped or notched section", 6}, {"not rectangular", 1}, {"curved section", 30}}},
      {"tekla2019-mini-project.ifc", false, 0, {{"Brep body", 18}, {"not concrete", 8}}},
      {"archicad11-round-columns.ifc", false, 0, {{"not concrete", 2}}},
      {"archicad11-round-columns.ifc", true, 0, {{"round section", 2}}},
      {"revit2021-structural-sample.ifc", false, 0, {{"not concrete", 29}}},
      {"revit2021-structural-sample.ifc",
       true,
       0,
       {{"Brep body", 2}, {"clipped", 12}, {"hollow section", 15}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.all_columns ? " --all-columns" : ""));
    const auto m = ReadModel((kSamples / c.file).string(), {.all_columns = c.all_columns});
    EXPECT_EQ(m->GetColumns().size(), c.taken);
    EXPECT_EQ(Refused(*m), c.refused);
  }
  // The Revit model's concrete columns: 12 inch sections on level 1, one
  // of them turned, with their storey, material and Revit names.
  const auto m = ReadModel((kSamples / "revit2021-example.ifc").string());
  for (const auto i : m->GetColumns()) {
    const auto& e = m->GetElements()[i];
    EXPECT_NEAR(e.plan[0].GetDistance(e.plan[1]), 304.8, 1e-6) << e.id;
    EXPECT_EQ(m->GetSource()->storeys.at(*e.source.storey).name, "Level 1");
    EXPECT_EQ(e.source.materials, std::vector<std::string>{"Concrete, Cast-in-Place gray"});
    EXPECT_EQ(e.id, e.source.name);
    EXPECT_EQ(m->Resolve(e.source.tag), i);
  }
}

}  // namespace
