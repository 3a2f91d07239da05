// Edge cases of the cage of a column with nothing above it: how the picked
// corners are read, what the checks tell the user, the stirrup zones and
// where the corner and side bars stand, judged by the placements' bars.
#include "cage/cage_single.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/geomkit.h"
#include "support/cage_check.h"

namespace {

using namespace testsupport;
using HostReinf::BendingShapeType;
using Messages = std::vector<std::string>;

constexpr double kTol = 1e-6;

const std::string kWall = "Please check again.\nIf h/b > 4 the element is classified as a wall.";
const std::string kMinWidth = "Please check again.\nColumn Width is now smaller than 200";
const std::string kSteelRatio = "Please check again.\nMax Column Reinforcement Area is 9%! ";
const std::string kCover =
    "Concrete Cover not enough\nPlease consider to change the Concrete Cover or Exposure";

// An axis-parallel column at the origin from z 0 to 3000; its first listed
// edge is `first` long and runs at `theta` degrees.
ColumnSpec Column(double first, double second, double theta = 0) {
  ColumnSpec s;
  s.first = first;
  s.second = second;
  s.theta = theta;
  return s;
}

// One run of the tool: the session recording the messages and the palette
// with its file's values (cover 30, stirrup 8, main bar 16, side bars 12,
// 1 per X face and 2 per Y face, slab 250, zones of 500 on).
struct ToolRun {
  HostInput::CoordinateInput input{nullptr, nullptr};
  HostUtil::StringTableService strings;
  HostUtil::Session session;
  HostUtil::SessionScope scope{session};
  std::shared_ptr<HostBaseElements::BuildingElement> palette = LoadPalette("cage_single.pal");
  std::unique_ptr<cage_single::Reinforcement> cage;

  HostBaseElements::Parameter& operator[](const char* name) { return (*palette)[name]; }
  cage_single::Reinforcement& Build(
      const ColumnSpec& column,
      std::shared_ptr<HostBaseElements::BuildingElementPaletteService> service = nullptr) {
    cage = std::make_unique<cage_single::Reinforcement>(
        palette, std::move(service), input, PIER_TOOL_DIR, strings, HostVertices({column}));
    return *cage;
  }
};

// A 300 x 500 column listed clockwise, its first edge running along -x.
std::vector<HostGeo::Point3D> Clockwise300x500() {
  std::vector<HostGeo::Point3D> points;
  for (const double z : {0.0, 3000.0}) {
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {-300.0, 0.0}, {-300.0, 500.0}, {0.0, 500.0}}) {
      points.emplace_back(x, y, z);
    }
  }
  return points;
}

// Distances of a plan point from the four faces, smallest first.
std::vector<double> FaceDistances(const Faces& faces, const HostGeo::Point3D& p) {
  std::vector<double> d;
  for (std::size_t f = 0; f < 4; ++f) d.push_back(faces.Distance(f, p.X(), p.Y()));
  std::sort(d.begin(), d.end());
  return d;
}

// Heights of the stirrups of each placement, lowest first.
std::vector<std::vector<double>> ZoneHeights(const std::vector<HostReinf::BarPlacement>& zones) {
  std::vector<std::vector<double>> out;
  for (const auto& p : zones) {
    std::vector<double> z;
    for (const auto& bar : p.GetBars()) z.push_back(bar[1].Z());
    std::sort(z.begin(), z.end());
    out.push_back(z);
  }
  return out;
}

TEST(CageSingle, SteepFirstEdgeTurnsTheSection) {
  for (const auto& [theta, rotated] : {std::pair{90.0, true},
                                       {-90.0, true},
                                       {30.0, false},
                                       {45.0, false},
                                       {135.0, false},
                                       {180.0, false},
                                       {45.04, false},
                                       {45.06, true}}) {
    ToolRun run;
    EXPECT_EQ(run.Build(Column(300, 500, theta)).rotate(), rotated) << "first edge at " << theta;
  }
}

TEST(CageSingle, SectionSizesAndOrientation) {
  for (const auto& column :
       {Column(300, 600), Column(600, 300), Column(300, 600, 90), Column(600, 300, 30)}) {
    ToolRun run;
    const auto& cage = run.Build(column);
    EXPECT_DOUBLE_EQ(cage.Column_Width(), 300);
    EXPECT_DOUBLE_EQ(cage.Column_Length(), 600);
    EXPECT_DOUBLE_EQ(cage.Column_Height(), 3000);
  }
  // The flag is 1 only when corner 0 lies right of corner 1. The corners
  // are laid out counter-clockwise, which always leaves corner 0 on the
  // left, also for a list given in the other sense.
  ToolRun host_listed;
  const auto& a = host_listed.Build(Column(300, 500, 180));
  ASSERT_LT(a.point_list()[0].X(), a.point_list()[1].X());
  EXPECT_EQ(a.direction(), -1);
  ToolRun other;
  const cage_single::Reinforcement b(other.palette, nullptr, other.input, PIER_TOOL_DIR,
                                     other.strings, Clockwise300x500());
  ASSERT_LT(b.point_list()[0].X(), b.point_list()[1].X());
  EXPECT_EQ(b.direction(), -1);
}

TEST(CageSingle, ClockwiseCornerListGivesACageInsideTheColumn) {
  ToolRun run;
  cage_single::Reinforcement cage(run.palette, nullptr, run.input, PIER_TOOL_DIR, run.strings,
                                  Clockwise300x500());
  const Faces faces{{{0, 0}, {0, 500}, {-300, 500}, {-300, 0}}};
  for (const auto& b : BarsOf(cage.Rebars())) {
    // Links and ties keep the cover to their axis plus half a bar; the
    // longitudinal bars stand inside the links.
    const double inset = b.type == BendingShapeType::LongitudinalBar ? 44 : 34;
    for (const auto& p : b.points) {
      ASSERT_GE(faces.Inside(p.X(), p.Y()), inset - kTol) << Describe(b);
    }
  }
}

TEST(CageSingle, PrepareParametersWritesSpacingsAndRedrawsThePalette) {
  for (const auto& [D, main, extra] :
       {std::tuple{16.0, 190.0, 110.0}, {20.0, 200.0, 120.0}, {12.0, 140.0, 80.0}}) {
    ToolRun run;
    run["Main_Diameter"].SetValue(D);
    for (const char* name :
         {"Main_Stirrup_Spacing", "Add_Stirrup_Top_Spacing", "Add_Stirrup_Bot_Spacing"}) {
      run[name].SetValue(50.0);
    }
    auto service = std::make_shared<HostBaseElements::BuildingElementPaletteService>(
        HostBaseElements::BuildingElementList{run.palette},
        HostBaseElements::BuildingElementComposite{}, HostBaseElements::BuildingElementScript{},
        HostBaseElements::ControlPropsList{}, "cage_single.pal");
    run.Build(Column(300, 500), service).Prepare_Parameters();
    EXPECT_DOUBLE_EQ(run["Main_Stirrup_Spacing"].Number(), main) << "main bar " << D;
    EXPECT_DOUBLE_EQ(run["Add_Stirrup_Top_Spacing"].Number(), extra) << "main bar " << D;
    EXPECT_DOUBLE_EQ(run["Add_Stirrup_Bot_Spacing"].Number(), extra) << "main bar " << D;
    // The denser zones reach the column's larger side from each end.
    EXPECT_DOUBLE_EQ(run["Add_Stirrup_Top_Length"].Number(), 500);
    EXPECT_DOUBLE_EQ(run["Add_Stirrup_Bot_Length"].Number(), 500);
    EXPECT_EQ(service->GetRedrawCount(), 1);
  }
  // Side bars of 8 mm bring the largest pitch down to 20 of them.
  ToolRun thin;
  thin["Add_X_Diameter"].SetValue(8.0);
  thin.Build(Column(300, 500)).Prepare_Parameters();
  EXPECT_DOUBLE_EQ(thin["Main_Stirrup_Spacing"].Number(), 160);
  EXPECT_DOUBLE_EQ(thin["Add_Stirrup_Top_Spacing"].Number(), 90);
}

TEST(CageSingle, InputIsCheckedWhenTheCageIsMade) {
  // Sides within 0.1 mm of the limit meet it (real models carry rounding
  // noise); a wall is only a warning.
  for (const auto& [column, messages, refused] :
       {std::tuple{Column(200, 850), Messages{kWall}, false},
        {Column(200, 800), Messages{}, false},
        {Column(199.94, 400), Messages{}, false},
        {Column(400, 199.85), Messages{kMinWidth}, true}}) {
    SCOPED_TRACE(std::to_string(column.first) + " x " + std::to_string(column.second));
    ToolRun run;
    auto& cage = run.Build(column);
    EXPECT_EQ(run.session.Messages(), messages);
    EXPECT_EQ(cage.error(), refused);
    EXPECT_EQ(cage.Rebars().empty(), refused);
  }
}

TEST(CageSingle, OutputChecksSteelOnBothFacesAndCover) {
  const auto check = [](double D, int n, double cover, double stirrup, const Messages& messages,
                        bool refused) {
    SCOPED_TRACE("main " + std::to_string(D) + ", " + std::to_string(n) + " per face, cover " +
                 std::to_string(cover) + " + " + std::to_string(stirrup));
    ToolRun run;
    run["Exposure"].SetValue("XC1");
    run["Main_Diameter"].SetValue(D);
    run["Concr_Cover"].SetValue(cover);
    run["Main_Stirrup_Diameter"].SetValue(stirrup);
    for (const char* name : {"Add_X_Number", "Add_Y_Number"}) run[name].SetValue(n);
    for (const char* name : {"Add_X_Diameter", "Add_Y_Diameter"}) run[name].SetValue(25.0);
    auto& cage = run.Build(Column(300, 300));
    cage.check_output();
    // The checks of the tool's own rules; the detailing findings are tested
    // with the detailing rules.
    Messages own;
    for (const auto& m : run.session.Messages()) {
      if (m.rfind("Warning: ", 0) != 0 && m.rfind("Blocked: ", 0) != 0) own.push_back(m);
    }
    EXPECT_EQ(own, messages);
    EXPECT_EQ(cage.error(), refused);
    EXPECT_EQ(cage.Rebars().empty(), refused);
  };
  // 300 x 300 allows 81 cm2: four corner bars of 32 (32.2 cm2) pass.
  check(32, 0, 35, 10, {}, false);
  // 4 x 25 at the corners and 4 x 25 on each of the four faces make 98.1 cm2
  // (one face per direction would count 58.9 cm2).
  check(25, 4, 25, 10, {kSteelRatio}, true);
  // A main bar of 25 in XC1 needs 25 + 10 to the main bars: a cover of 25
  // with 10 stirrups is enough, with 8 it is a warning only.
  check(25, 0, 25, 10, {}, false);
  check(25, 0, 25, 8, {kCover}, false);
}

TEST(CageSingle, StirrupHooksFollowTheMainBar) {
  for (const auto& [D, angle] : {std::pair{16.0, 135.0}, {20.0, 90.0}}) {
    ToolRun run;
    run["Main_Diameter"].SetValue(D);
    const auto placements = run.Build(Column(400, 500)).Stirrup();
    ASSERT_FALSE(placements.empty());
    for (const auto& placement : placements) {
      // Tails that give the least end projection of an 8 mm link, 115 mm
      // (91 mm of straight, the 16 mm inner radius and the bar), both ends
      // alike.
      const auto& shape = placement.GetBendingShape();
      EXPECT_EQ(shape.GetStartHook().angle, angle) << "main bar " << D;
      EXPECT_EQ(shape.GetStartHook().length, 91);
      EXPECT_EQ(shape.GetStartHook(), shape.GetEndHook());
      // The bar turns through three quarter turns and both hooks.
      const auto& p = shape.GetPolyline();
      double turned = 0;
      for (std::size_t i = 1; i + 1 < p.size(); ++i) {
        const HostGeo::Vector3D in(p[i - 1], p[i]), out(p[i], p[i + 1]);
        turned +=
            std::acos(std::clamp(in.Dot(out) / (in.GetLength() * out.GetLength()), -1.0, 1.0));
      }
      EXPECT_NEAR(turned * 180 / M_PI, 270 + 2 * angle, 1e-6) << "main bar " << D;
    }
  }
}

TEST(CageSingle, StirrupZones) {
  const double t = 30 + 8.0 / 2;  // from the column's end to the end link's axis
  ToolRun none;
  none["Add_Stirrup_Top"].SetValue(false);
  none["Add_Stirrup_Bot"].SetValue(false);
  auto& cage = none.Build(Column(400, 400));
  auto zones = ZoneHeights(cage.Stirrup());
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_NEAR(zones[0].front(), t, kTol);
  EXPECT_NEAR(zones[0].back(), 3000 - t, kTol);
  EXPECT_EQ(cage.Add_Stirrup_Top_Length(), 0);
  EXPECT_EQ(cage.Add_Stirrup_Bot_Length(), 0);

  // A top zone of 600: the main zone's links run up to the zone's limit,
  // where one link serves both, and the zone's start one pitch above it.
  ToolRun top;
  top["Add_Stirrup_Bot"].SetValue(false);
  top["Add_Stirrup_Top_Length"].SetValue(600.0);
  zones = ZoneHeights(top.Build(Column(400, 400)).Stirrup());
  ASSERT_EQ(zones.size(), 2u);
  EXPECT_NEAR(zones[0].front(), t, kTol);
  EXPECT_NEAR(zones[0].back(), 2400, kTol);
  EXPECT_NEAR(zones[1].back(), 3000 - t, kTol);
  const double pitch = (3000 - t - 2400) / static_cast<double>(zones[1].size());
  EXPECT_LE(pitch, 110 + kTol);
  EXPECT_NEAR(zones[1].front(), 2400 + pitch, kTol);

  // Zones longer than the column overlap: they are one zone of the denser
  // spacing, without a link twice.
  ToolRun both;
  both["Add_Stirrup_Top_Length"].SetValue(2000.0);
  both["Add_Stirrup_Bot_Length"].SetValue(2000.0);
  both["Add_Stirrup_Top_Spacing"].SetValue(100.0);
  both["Add_Stirrup_Bot_Spacing"].SetValue(80.0);
  std::vector<double> z;
  for (const auto& run : ZoneHeights(both.Build(Column(400, 400)).Stirrup())) {
    z.insert(z.end(), run.begin(), run.end());
  }
  std::sort(z.begin(), z.end());
  for (std::size_t i = 1; i < z.size(); ++i) {
    EXPECT_GT(z[i] - z[i - 1], 40) << "links at " << z[i - 1] << " and " << z[i];
    EXPECT_LE(z[i] - z[i - 1], z[i] <= 2000 ? 80 + kTol : 100 + kTol);
  }
}

TEST(CageSingle, StirrupStaysInsideWhenTheFirstEdgeIsTheLongerSide) {
  for (const auto& column : {Column(600, 300), Column(600, 300, 20), Column(300, 600, 100)}) {
    ToolRun run;
    const Faces faces{CcwCorners(column)};
    for (const auto& s : BarsOf(run.Build(column).Stirrup())) {
      // The loop's corners follow the hook's corners.
      const std::size_t first = s.points.size() == 7 ? 1 : 2;
      for (std::size_t i = first; i < first + 4; ++i) {
        const auto d = FaceDistances(faces, s.points[i]);
        EXPECT_NEAR(d[0], 34, kTol) << column.first << " first at " << column.theta;
        EXPECT_NEAR(d[1], 34, kTol) << column.first << " first at " << column.theta;
      }
    }
  }
}

TEST(CageSingle, CageListsLinksTiesCornersThenXThenYSides) {
  ToolRun run;
  run["Add_Y_Diameter"].SetValue(10.0);
  const ColumnSpec column = Column(400, 500, 30);
  auto& cage = run.Build(column);
  const auto placements = cage.Rebars();
  for (const auto& p : placements) EXPECT_EQ(p.GetPositionNumber(), 2);
  // The links' runs from the bottom up, then the ties, then the bars.
  std::size_t links = 0, ties = 0;
  while (placements[links].GetBendingShape().GetShapeType() == BendingShapeType::Stirrup) ++links;
  while (placements[links + ties].GetBendingShape().GetShapeType() == BendingShapeType::CrossTie) {
    ++ties;
  }
  ASSERT_EQ(links, 3u);
  // The X side bar stands 152 mm from the corner bars: it is tied.
  EXPECT_GT(ties, 0u);
  ASSERT_EQ(placements.size(), links + ties + 8);
  const auto zones = ZoneHeights({placements.begin(), placements.begin() + 3});
  EXPECT_NEAR(zones[0].front(), 34, kTol);         // bottom
  EXPECT_NEAR(zones[2].back(), 3000 - 34, kTol);   // top
  EXPECT_NEAR(zones[1].back(), 3000 - 500, kTol);  // main, up to the top zone
  const auto& C = cage.Column();
  const double a = geomkit::CornerBarInset(30, 8, 16);
  for (std::size_t k = 0; k < 4; ++k) {
    const auto& p = placements[links + ties + k];
    EXPECT_EQ(p.GetBendingShape().GetDiameter(), 16);
    ASSERT_EQ(p.GetBarCount(), 1u);
    const auto foot = p.GetBars().front().front().To2D();
    EXPECT_NEAR(foot.GetDistance(C[k].To2D()), a * std::sqrt(2.0), kTol) << "corner " << k;
  }
  // X rows on the sides from C0 to C1 and C2 to C3, Y rows on C1-C2, C3-C0.
  const std::pair<std::size_t, double> rows[] = {{0, 12}, {2, 12}, {1, 10}, {3, 10}};
  for (std::size_t r = 0; r < 4; ++r) {
    const auto& [from, d] = rows[r];
    const auto& row = placements[links + ties + 4 + r];
    EXPECT_EQ(row.GetBendingShape().GetDiameter(), d);
    const Point2D s = C[from].To2D(), e = C[(from + 1) % 4].To2D();
    for (const auto& bar : row.GetBars()) {
      const auto x = bar[0].To2D();
      const double across =
          std::abs((e.X() - s.X()) * (x.Y() - s.Y()) - (e.Y() - s.Y()) * (x.X() - s.X()));
      EXPECT_NEAR(across / s.GetDistance(e), 30 + 8 + d / 2, kTol) << "row " << r;
    }
  }
}

TEST(CageSingle, CornerBarsSitInTheLinksBendAndRunThroughTheSlab) {
  for (const auto& [slab, height] : {std::pair{250.0, 3200.0}, {230.0, 3150.0}}) {
    ToolRun run;
    run["Slab_Above"].SetValue(slab);
    const ColumnSpec column = Column(400, 300, 15);
    const Faces faces{CcwCorners(column)};
    auto& cage = run.Build(column);
    const auto corners = cage.MainRebars();
    ASSERT_EQ(corners.size(), 4u);
    // An 8 mm link is bent on a 32 mm mandrel: the 16 mm bar sits in the
    // bend, 2.3 mm further in from each face than where it would touch
    // both legs.
    const double a = 30 + 8 + 16 - 8 / std::sqrt(2.0);
    for (const auto& p : corners) {
      EXPECT_NEAR(p.GetCoverStart(), a - 8, kTol);
      EXPECT_EQ(p.GetPositionNumber(), 2);
      const auto d = FaceDistances(faces, p.GetBars().at(0).front());
      EXPECT_NEAR(d[0], a, kTol);
      EXPECT_NEAR(d[1], a, kTol);
    }
    for (const auto& b : BarsOf(cage.Rebars())) {
      if (b.type != BendingShapeType::LongitudinalBar) continue;
      EXPECT_NEAR(b.points.front().Z(), 0, kTol);
      EXPECT_NEAR(b.points.back().Z(), height, kTol) << "slab " << slab;
    }
  }
}

TEST(CageSingle, BarsShortOfTheirAnchorageInTheSlabAboveAreAWarning) {
  // 16 mm bars in C25/30 need 650 mm: a 250 mm slab gives them 200 mm, a
  // 700 mm slab 650 mm.
  for (const auto& [slab, warned] : {std::pair{250.0, true}, {700.0, false}}) {
    ToolRun run;
    run["Slab_Above"].SetValue(slab);
    auto& cage = run.Build(Column(400, 400));
    cage.check_output();
    const auto& said = run.session.Messages();
    const auto anchorage = std::find_if(said.begin(), said.end(), [](const std::string& m) {
      return m.find("anchorage length for tension") != std::string::npos;
    });
    ASSERT_EQ(anchorage != said.end(), warned) << "slab " << slab;
    if (warned) {
      EXPECT_EQ(anchorage->rfind("Warning: ", 0), 0u);
      EXPECT_NE(anchorage->find("anchored in the 250 mm slab above: they reach 200 mm into it"),
                std::string::npos)
          << *anchorage;
      EXPECT_NE(anchorage->find("need 650 mm"), std::string::npos) << *anchorage;
      EXPECT_NE(anchorage->find("450 mm short"), std::string::npos) << *anchorage;
    }
    EXPECT_FALSE(cage.error());
  }
}

TEST(CageSingle, SideBarsAreSpreadOverTheSideTheyServe) {
  const auto rows = [](ToolRun& run, const ColumnSpec& column, int nX, int nY) {
    run["Add_X_Number"].SetValue(nX);
    run["Add_Y_Number"].SetValue(nY);
    auto& cage = run.Build(column);
    auto placements = cage.AddX();
    const auto y = cage.AddY();
    placements.insert(placements.end(), y.begin(), y.end());
    return placements;
  };
  // One bar of 12 on a side of 300: in the middle, 44 from its face.
  ToolRun square;
  const Faces faces{CcwCorners(Column(300, 300))};
  for (const auto& p : rows(square, Column(300, 300), 1, 1)) {
    EXPECT_DOUBLE_EQ(p.GetCoverStart(), 144);
    ASSERT_EQ(p.GetBarCount(), 1u);
    const auto x = p.GetBars().front().front();
    EXPECT_NEAR(faces.Inside(x.X(), x.Y()), 44, kTol);
    EXPECT_NEAR(std::max(std::abs(x.X() - 150), std::abs(x.Y() - 150)), 150 - 44, kTol);
  }
  // On 300 x 600 each row is spread evenly between the corner bars of its
  // own side: 2 bars on the short sides, 3 on the long ones.
  const ColumnSpec oblong = Column(300, 600, 40);
  const Faces of{CcwCorners(oblong)};
  ToolRun run;
  std::array<std::vector<double>, 4> along;
  for (const auto& b : BarsOf(rows(run, oblong, 2, 3))) {
    for (std::size_t f = 0; f < 4; ++f) {
      if (std::abs(of.Distance(f, b.points[0].X(), b.points[0].Y()) - 44) < kTol) {
        along[f].push_back(of.Along(f, b.points[0].X(), b.points[0].Y()));
      }
    }
  }
  const double o = 30 + 8 + 16;
  for (std::size_t f = 0; f < 4; ++f) {
    const double side = of.Length(f);
    const int n = side > 400 ? 3 : 2;
    ASSERT_EQ(static_cast<int>(along[f].size()), n) << "face " << f;
    std::sort(along[f].begin(), along[f].end());
    for (int k = 0; k < n; ++k) {
      EXPECT_NEAR(along[f][static_cast<std::size_t>(k)], o + (k + 1) * (side - 2 * o) / (n + 1),
                  kTol)
          << "face " << f << " bar " << k;
    }
  }
  // No side bars: still one placement per side, holding no bar.
  ToolRun empty;
  const auto none = rows(empty, oblong, 0, 0);
  ASSERT_EQ(none.size(), 4u);
  for (const auto& p : none) EXPECT_EQ(p.GetBarCount(), 0u);
  EXPECT_EQ(empty.cage->Rebars().size(), 11u);
}

}  // namespace
