// Edge cases of the cage of a column that carries another column: starter
// lengths from the tool's tables, the checks of both sections, the offsets
// measured against the lower column's sides and how each corner and each
// row of side bars is carried into the column above.
#include "cage/cage_stacked.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/geomkit.h"
#include "support/cage_check.h"

namespace {

using namespace testsupport;
using testing::HasSubstr;

constexpr double kTol = 1e-6;

const std::string kWallMessage =
    "Please check again.\nIf h/b > 4 the element is classified as a wall.";
const std::string kAboveLargerMessage =
    "Please check again.\nCross section of the column above is bigger than cross section of the "
    "column below!";
const std::string kMinWidthMessage = "Please check again.\nColumn Width is now smaller than 200";
const std::string kSpliceMessage =
    "Rebar Ratio in Splice Area must be less than 9%!\nPlease consider to include coupler or "
    "change starter rebar";

// The lower column: axis-parallel at the origin, from 0 to 3000.
ColumnSpec Lower(double first, double second) {
  ColumnSpec s;
  s.first = first;
  s.second = second;
  return s;
}

// The column above, 250 higher, its faces set in from the lower column's
// faces 0 to 3 (counter-clockwise from corner 0; for an axis-parallel column
// y = 0, x = first, y = second and x = 0).
ColumnSpec Upper(const ColumnSpec& lower, std::array<double, 4> in) {
  ColumnSpec s = lower;
  const double t = lower.theta / 180.0 * M_PI;
  s.x = lower.x + in[3] * std::cos(t) - in[0] * std::sin(t);
  s.y = lower.y + in[3] * std::sin(t) + in[0] * std::cos(t);
  s.first = lower.first - in[1] - in[3];
  s.second = lower.second - in[0] - in[2];
  s.bottom = lower.top + 250;
  s.top = s.bottom + 3000;
  return s;
}

// A tool folder of its own whose lap tables hold `tension_cm` and
// `anchorage_cm` in every cell; `blank` empties the cell of the 16 mm bar,
// good bond, grade value 4 in the tension table.
std::string ToolFolder(const std::string& name, int tension_cm, int anchorage_cm,
                       bool blank = false) {
  const auto dir = std::filesystem::path(testing::TempDir()) / name;
  std::filesystem::create_directories(dir);
  const auto write = [&](const char* file, int cm, bool with_blank) {
    std::ofstream out(dir / file);
    const double diameters[] = {6, 8, 10, 12, 14, 16, 20, 25, 28, 32, 40};
    for (const char* bond : {"good bond", "poor bond"}) {
      out << bond << ", value per grade (cm)\n";  // not read
      for (const double d : diameters) {
        out << d;
        for (int grade = 1; grade <= 14; ++grade) {
          out << ',';
          if (!(with_blank && d == 16 && grade == 4 && std::string(bond) == "good bond")) out << cm;
        }
        out << '\n';
      }
    }
  };
  write("lap_length_for_tension.csv", tension_cm, blank);
  write("lap_length_for_anchorage.csv", anchorage_cm, false);
  write("anchorage_length_for_tension.csv", 1, false);
  return dir.string();
}

// One run of the tool with the palette's defaults (cover 30, stirrup 8, main
// bar 16, side bars 12, the same values above, "Tension").
struct ToolRun {
  HostInput::CoordinateInput input{nullptr, nullptr};
  HostUtil::StringTableService strings;
  HostUtil::Session session;
  HostUtil::SessionScope scope{session};
  std::shared_ptr<HostBaseElements::BuildingElement> palette = LoadPalette("cage_stacked.pal");
  std::string tool_path = PIER_TOOL_DIR;
  std::unique_ptr<cage_stacked::Reinforcement> cage;

  HostBaseElements::Parameter& operator[](const char* name) { return (*palette)[name]; }
  cage_stacked::Reinforcement& Build(
      const ColumnSpec& lower, const ColumnSpec& upper,
      std::shared_ptr<HostBaseElements::BuildingElementPaletteService> service = nullptr) {
    cage = std::make_unique<cage_stacked::Reinforcement>(
        palette, std::move(service), input, tool_path, strings, HostVertices({lower, upper}));
    return *cage;
  }
  const std::vector<std::string>& Messages() const { return session.Messages(); }
};

double Rise(const Bar& b) { return b.points.back().Z() - b.points.front().Z(); }

// The two smallest distances of a plan point from the faces: for a corner
// bar, its distances from the two faces at its corner.
std::array<double, 2> NearestFaces(const Faces& faces, const HostGeo::Point3D& p) {
  std::vector<double> d;
  for (std::size_t f = 0; f < 4; ++f) d.push_back(faces.Distance(f, p.X(), p.Y()));
  std::sort(d.begin(), d.end());
  return {d[0], d[1]};
}

TEST(CageStacked, StarterLengthsComeFromTheTables) {
  const std::string folder = ToolFolder("starters", 95, 60);
  // Only the exact text "Tension" reads the tension table; the stirrup
  // zones become the starter or the longer side, rounded up to 50.
  for (const auto& [type, length, starter, zone] : {std::tuple{"Tension", 600.0, 950.0, 950.0},
                                                    {"tension", 620.0, 600.0, 650.0},
                                                    {"Compression", 600.0, 600.0, 600.0}}) {
    ToolRun run;
    run.tool_path = folder;
    run["Calculate_Type"].choices.clear();  // the palette offers only its own texts
    run["Calculate_Type"].SetValue(type);
    auto service = std::make_shared<HostBaseElements::BuildingElementPaletteService>(
        HostBaseElements::BuildingElementList{run.palette},
        HostBaseElements::BuildingElementComposite{}, HostBaseElements::BuildingElementScript{},
        HostBaseElements::ControlPropsList{}, "cage_stacked.pal");
    const auto lower = Lower(300, length);
    auto& cage = run.Build(lower, Upper(lower, {0, 0, 0, 0}), service);
    EXPECT_EQ(cage.Main_Starter(), starter) << type;
    EXPECT_EQ(cage.AddX_Starter(), starter) << type;
    EXPECT_EQ(cage.AddY_Starter(), starter) << type;
    cage.Prepare_Parameters();
    EXPECT_EQ(run["Add_Stirrup_Top_Length"].Number(), zone) << type;
    EXPECT_EQ(run["Add_Stirrup_Bot_Length"].Number(), zone) << type;
    EXPECT_EQ(service->GetRedrawCount(), 1);
  }

  // A table without the entry: an error naming the table, and no cage.
  const auto refused = [](ToolRun& run, const auto& message) {
    const auto lower = Lower(300, 400);
    EXPECT_THAT(
        [&] {
          run.Build(lower, Upper(lower, {0, 0, 0, 0}));
        },
        testing::ThrowsMessage<std::exception>(message));
    EXPECT_EQ(run.cage, nullptr);
  };
  ToolRun blank;
  blank.tool_path = ToolFolder("blank_cell", 95, 60, true);
  refused(blank, HasSubstr(blank.tool_path + "/lap_length_for_tension.csv"));
  // A diameter the tables do not list cannot even be entered.
  ToolRun unlisted;
  EXPECT_THROW(unlisted["Main_Diameter"].SetValue(18.0), std::invalid_argument);
}

TEST(CageStacked, BothSectionsAreCheckedWhenTheCageIsMade) {
  struct Case {
    ColumnSpec lower;
    double upper_first, upper_second;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases{
      {Lower(300, 500), 300, 500, {}},
      {Lower(300, 500), 300, 501, {kAboveLargerMessage}},
      {Lower(300, 500), 250, 600, {kAboveLargerMessage}},
      {Lower(200, 850), 200, 850, {kWallMessage}},
      {Lower(200, 800), 200, 800, {}},
      {Lower(199.94, 400), 199.94, 400, {}},
      {Lower(199.85, 400), 199.85, 400, {kMinWidthMessage}},
      {Lower(300, 400), 300, 199.85, {kMinWidthMessage}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.upper_first) + " x " + std::to_string(c.upper_second) + " on " +
                 std::to_string(c.lower.first) + " x " + std::to_string(c.lower.second));
    ColumnSpec upper = Upper(c.lower, {0, 0, 0, 0});
    upper.first = c.upper_first;
    upper.second = c.upper_second;
    ToolRun run;
    auto& cage = run.Build(c.lower, upper);
    EXPECT_EQ(run.Messages(), c.messages);
    const bool refused = !c.messages.empty() && c.messages.front() != kWallMessage;
    EXPECT_EQ(cage.error(), refused);
    EXPECT_EQ(cage.Rebars().empty(), refused);
  }
}

TEST(CageStacked, TheSecondColumnMustStandOnTheFirst) {
  // Below the first column's top, or beside it: an error that says so.
  const ColumnSpec lower = Lower(300, 500);
  ColumnSpec below = Upper(lower, {0, 0, 0, 0});
  below.bottom = lower.top - 100;
  ColumnSpec beside = Upper(lower, {0, 0, 0, 0});
  beside.x += 1000;
  for (const auto& upper : {below, beside}) {
    ToolRun run;
    try {
      run.Build(lower, upper);
      ADD_FAILURE() << "a column that does not stand on the first was taken";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("does not stand on the first"), std::string::npos)
          << e.what();
    }
  }
}

TEST(CageStacked, SpliceRatioCountsBothFacesAndNeverBlocks) {
  // 300 x 300 above allows 81 cm2. The lower bars (4 x 16: 8.0 cm2) and the
  // upper ones (4 x 25 and 4 x 25 on each face: 98.1 cm2) overlap; counting
  // one face per direction would give 66.9 cm2.
  ToolRun run;
  run["Main_Diameter_Above"].SetValue(25.0);
  run["Add_X_Number"].SetValue(0);
  run["Add_Y_Number"].SetValue(0);
  for (const char* name : {"Add_X_Number_Above", "Add_Y_Number_Above"}) run[name].SetValue(4);
  for (const char* name : {"Add_X_Diameter_Above", "Add_Y_Diameter_Above"})
    run[name].SetValue(25.0);
  const auto lower = Lower(400, 400);
  auto& cage = run.Build(lower, Upper(lower, {50, 50, 50, 50}));
  cage.check_output();
  EXPECT_EQ(run.Messages(), std::vector<std::string>{kSpliceMessage});
  EXPECT_FALSE(cage.error());
  EXPECT_FALSE(cage.Rebars().empty());
}

TEST(CageStacked, OffsetsAreMeasuredAgainstASideOfTheLowerColumn) {
  // Corner 0 at (0, 0), corner 1 at (400, 0); the section lies at y > 0.
  ToolRun run;
  const auto lower = Lower(400, 300);
  auto& cage = run.Build(lower, Upper(lower, {0, 0, 0, 0}));
  ASSERT_EQ(cage.Column()[0], HostGeo::Point3D(0, 0, 0));
  ASSERT_EQ(cage.Column()[1], HostGeo::Point3D(400, 0, 0));
  const HostGeo::Point3D from(0, 0, 0), to(400, 0, 0);
  using D2 = std::array<double, 2>;
  using D3 = std::array<double, 3>;
  EXPECT_EQ(cage.distance_point_toline({100, 50, 3000}, from, to), (D2{100, 50}));
  EXPECT_EQ(cage.distance_point_toline({-20, 30, 3000}, from, to), (D2{-20, 30}));
  // Beyond the line, away from the column: outside the face.
  EXPECT_EQ(cage.distance_point_toline({100, -50, 3000}, from, to), (D2{100, -50}));

  const auto near = [](const D3& got, const D3& want) {
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 1e-2) << "entry " << i;
  };
  near(cage.crank_length({20, 20, 3000}, from, to, 16, 16), {20, 20, 20 * std::sqrt(2.0) + 18.4});
  near(cage.crank_length({40, 40, 3000}, from, to, 16, 16), {40, 40, 74.97});
  // A thicker bar above moves its axis by the difference of the radii and
  // needs its own clearance.
  near(cage.crank_length({20, 20, 3000}, from, to, 16, 20), {22, 22, 22 * std::sqrt(2.0) + 23});
}

// Where the bar carried up beside the upper column's corner bar stands:
// on the corner's diagonal, in contact with it on its inner side.
double BesideUpperCorner(double D, double D_above) {
  return geomkit::CornerBarInset(30, 8, D_above) + (D + D_above) / 2 / std::sqrt(2.0);
}

TEST(CageStacked, CornerBarIsCrankedOrJoinedByAStarter) {
  const double H = 3000, S = 250, a = geomkit::CornerBarInset(30, 8, 16);
  const double beside = BesideUpperCorner(16, 16);
  // Set in by 20 the bar moves (20 + beside - a) sqrt 2 = 44 mm: cranked;
  // by 40 it would move 73 mm: a starter takes its place.
  for (const double inset : {20.0, 40.0}) {
    SCOPED_TRACE("upper column set in by " + std::to_string(inset));
    ToolRun run;
    run["Add_X_Number"].SetValue(0);
    run["Add_Y_Number"].SetValue(0);
    const auto lower = Lower(400, 400);
    const auto upper = Upper(lower, {inset, inset, inset, inset});
    auto& cage = run.Build(lower, upper);
    const double s_m = cage.Main_Starter();
    const auto placements = cage.MainRebars();
    const auto bars = BarsOf(placements);
    const Faces below{CcwCorners(lower)}, above{CcwCorners(upper)};
    if (inset == 20) {
      ASSERT_EQ(placements.size(), 4u);
      for (const auto& b : bars) {
        SCOPED_TRACE(Describe(b));
        ASSERT_EQ(b.points.size(), 4u);
        // The crank runs from 200 below the top to the upper column, whose
        // bottom its rounded bend reaches; the lap ends s_m above it.
        EXPECT_NEAR(b.points[1].Z(), H - 200, kTol);
        EXPECT_LE(b.points[2].Z(), H + S);
        EXPECT_GT(b.points[2].Z(), H + S - 5);
        EXPECT_NEAR(b.points.back().Z(), H + S + s_m, kTol);
        const auto lower_leg = NearestFaces(below, b.points[0]);
        EXPECT_NEAR(lower_leg[0], a, kTol);
        EXPECT_NEAR(lower_leg[1], a, kTol);
        const auto upper_leg = NearestFaces(above, b.points[3]);
        EXPECT_NEAR(upper_leg[0], beside, kTol);
        EXPECT_NEAR(upper_leg[1], beside, kTol);
      }
    } else {
      ASSERT_EQ(placements.size(), 8u);
      // 73 - 16 = 57 mm clear of the lower bar: the lap below the slab
      // grows by what exceeds 50 mm.
      const double extra = (inset + beside - a) * std::sqrt(2.0) - 16 - 50;
      for (const auto& b : bars) {
        SCOPED_TRACE(Describe(b));
        ASSERT_EQ(b.points.size(), 2u);
        if (b.placement % 2 == 0) {
          EXPECT_NEAR(b.points[0].Z(), 0, kTol);
          EXPECT_NEAR(Rise(b), geomkit::round_down(H + S - 50), kTol);
          const auto at = NearestFaces(below, b.points[0]);
          EXPECT_NEAR(at[0], a, kTol);
          EXPECT_NEAR(at[1], a, kTol);
        } else {
          EXPECT_NEAR(b.points[0].Z(), H - s_m - extra, 1e-6);
          EXPECT_NEAR(Rise(b), geomkit::round_down(2 * s_m + S + extra), kTol);
          const auto at = NearestFaces(above, b.points[0]);
          EXPECT_NEAR(at[0], beside, kTol);
          EXPECT_NEAR(at[1], beside, kTol);
        }
      }
    }
  }
}

TEST(CageStacked, CornerBarsCrankBesideTheUpperCornerBar) {
  // One face of the upper column set in by 25: the two corner bars at that
  // face crank 25 mm further across it than along the other face.
  const auto lower = Lower(400, 300);
  const Faces below{CcwCorners(lower)};
  const double a = geomkit::CornerBarInset(30, 8, 16), beside = BesideUpperCorner(16, 16);
  for (std::size_t face = 0; face < 4; ++face) {
    SCOPED_TRACE("face " + std::to_string(face) + " set in");
    std::array<double, 4> in{};
    in[face] = 25;
    ToolRun run;
    run["Add_X_Number"].SetValue(0);
    run["Add_Y_Number"].SetValue(0);
    const auto bars = BarsOf(run.Build(lower, Upper(lower, in)).MainRebars());
    ASSERT_EQ(bars.size(), 4u);
    int at_face = 0;
    for (const auto& b : bars) {
      ASSERT_EQ(b.points.size(), 4u) << Describe(b);
      if (std::abs(below.Distance(face, b.points[0].X(), b.points[0].Y()) - a) > kTol) continue;
      ++at_face;
      const auto& top = b.points[3];
      EXPECT_NEAR(below.Distance(face, top.X(), top.Y()), 25 + beside, 1e-6) << Describe(b);
      EXPECT_NEAR(NearestFaces(below, top)[0], beside, 1e-6) << Describe(b);
    }
    EXPECT_EQ(at_face, 2);
  }
}

TEST(CageStacked, SideRowFollowsTheGapToTheUpperFace) {
  // Only the face y = 0 is set in; the first X row serves it. Two bars of 12
  // per X face of 400 stand well clear of the corners; the upper column's
  // bars stand likewise, and the bars carried up beside them, 12 mm further
  // in: a row moved by up to 35 mm is cranked, beyond that starters take
  // its place.
  const double H = 3000, S = 250;
  for (const double gap : {0.0, 20.0, 24.0}) {
    SCOPED_TRACE("gap " + std::to_string(gap));
    ToolRun run;
    run["Add_X_Number"].SetValue(2);
    run["Add_X_Number_Above"].SetValue(2);
    run["Add_Y_Number"].SetValue(0);
    run["Add_Y_Number_Above"].SetValue(0);
    const auto lower = Lower(400, 400);
    auto& cage = run.Build(lower, Upper(lower, {gap, 0, 0, 0}));
    const double s = cage.AddX_Starter();
    const auto rows = cage.AddX();
    const auto first_row = BarsOf({rows.front()});
    ASSERT_EQ(first_row.size(), 2u);
    if (gap + 12 <= 35) {
      ASSERT_EQ(rows.size(), 2u);
      for (const auto& b : first_row) {
        SCOPED_TRACE(Describe(b));
        ASSERT_EQ(b.points.size(), 4u);
        EXPECT_NEAR(b.points[1].Z(), H - 200, kTol);
        EXPECT_NEAR(b.points.back().Z(), H + S + s, kTol);
        // Cranked across the row, into the column, by the gap and a bar.
        EXPECT_NEAR(b.points[3].Y() - b.points[0].Y(), gap + 12, kTol);
        EXPECT_NEAR(b.points[3].X(), b.points[0].X(), kTol);
        EXPECT_NEAR(b.points[0].Y(), 30 + 8 + 6, kTol);
      }
    } else {
      ASSERT_EQ(rows.size(), 3u);
      for (const auto& b : first_row) EXPECT_NEAR(Rise(b), geomkit::round_down(H + S - 50), kTol);
      const auto starters = BarsOf({rows[1]});
      ASSERT_EQ(starters.size(), 2u);
      for (const auto& b : starters) {
        EXPECT_NEAR(b.points[0].Z(), H - s, kTol);
        EXPECT_NEAR(Rise(b), geomkit::round_down(2 * s + S), kTol);
        EXPECT_NEAR(b.points[0].Y(), gap + 30 + 8 + 6 + 12, kTol);
      }
    }
  }
}

TEST(CageStacked, StarterRowsOfACentredUpperColumnStayCentred) {
  ToolRun run;
  for (const char* name :
       {"Add_X_Number", "Add_Y_Number", "Add_X_Number_Above", "Add_Y_Number_Above"}) {
    run[name].SetValue(2);
  }
  const auto lower = Lower(500, 500);
  const auto upper = Upper(lower, {60, 60, 60, 60});
  auto& cage = run.Build(lower, upper);
  auto rows = cage.AddX();
  for (const auto& p : cage.AddY()) rows.push_back(p);
  ASSERT_EQ(rows.size(), 8u);  // every row: side bars, then starters
  const Faces above{CcwCorners(upper)};
  for (std::size_t r = 1; r < rows.size(); r += 2) {
    const auto starters = BarsOf({rows[r]});
    ASSERT_EQ(starters.size(), 2u);
    const auto& p = starters[0].points[0];
    const auto& q = starters[1].points[0];
    // Symmetric about the column's centre line across the row.
    const bool row_along_x = std::abs(p.Y() - q.Y()) < kTol;
    EXPECT_NEAR(row_along_x ? p.X() + q.X() : p.Y() + q.Y(), 500, 1e-6) << "row " << r / 2;
    for (const auto* b : {&starters[0], &starters[1]}) {
      EXPECT_GE(above.Inside(b->points[0].X(), b->points[0].Y()), 30 + 8 + 6 - kTol)
          << "row " << r / 2;
    }
  }
}

TEST(CageStacked, UpperColumnGivesTheSameCageFromWhicheverCornerItIsListed) {
  // At 45 degrees the first listed edge decides which corner comes first.
  for (const double theta : {0.0, 45.0}) {
    ColumnSpec lower = Lower(500, 400);
    lower.theta = theta;
    const auto upper = Upper(lower, {20, 40, 60, 10});
    // The values above are those of the column above's own palette, whose
    // X and Y faces follow its own first edge: alike in both directions,
    // they give one cage however it is listed.
    const auto alike = [](ToolRun& run) {
      run["Add_X_Number_Above"].SetValue(2);
      run["Add_Y_Number_Above"].SetValue(2);
    };
    ToolRun reference_run;
    alike(reference_run);
    const auto reference = BarsOf(reference_run.Build(lower, upper).Rebars());
    ASSERT_FALSE(reference.empty());
    for (int start = 1; start < 4; ++start) {
      SCOPED_TRACE("at " + std::to_string(theta) + " listed from corner " + std::to_string(start));
      ColumnSpec listed = upper;
      listed.start_corner = start;
      ToolRun run;
      alike(run);
      const auto bars = BarsOf(run.Build(lower, listed).Rebars());
      ASSERT_EQ(bars.size(), reference.size());
      for (std::size_t i = 0; i < bars.size(); ++i) {
        ASSERT_EQ(bars[i].points.size(), reference[i].points.size()) << Describe(bars[i]);
        for (std::size_t k = 0; k < bars[i].points.size(); ++k) {
          EXPECT_LT(bars[i].points[k].GetDistance(reference[i].points[k]), 1e-6)
              << Describe(bars[i]);
        }
      }
    }
  }
}

}  // namespace
