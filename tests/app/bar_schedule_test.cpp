// The bar schedule and its writers: shape codes, exact and scheduled lengths
// of bars built by the host's shape builders, the schedule's checks, the CSV
// layout and the drawing's frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <regex>
#include <sstream>

#include "app/export/exporter.h"
#include "common/geomkit.h"

namespace {

using HostGeo::Point2D;
using HostGeo::Point3D;
using HostGeo::RotationAngles;
using HostReinf::BarPlacement;
using HostReinf::BendingShape;
using HostReinf::BendingShapeType;
namespace Builder = HostReinf::GeneralReinfShapeBuilder;

HostReinf::ReinforcementShapeProperties Props(double d, BendingShapeType type) {
  return HostReinf::ReinforcementShapeProperties::rebar(d, 4, 4, 4, type);
}

// A closed 8 mm link with equal hooks for a width x height section, turned
// in plan by `plan_deg`.
BendingShape Link(double width, double height, double cover, double tail, double angle,
                  double plan_deg = 0) {
  return Builder::create_stirrup_with_user_hooks(
      {.width = width,
       .height = height,
       .model_angles = RotationAngles(0, 0, plan_deg),
       .shape_props = Props(8, BendingShapeType::Stirrup),
       .concrete_cover_props = HostReinf::ConcreteCoverProperties::all(cover),
       .stirrup_type = HostReinf::StirrupType::Column,
       .hook_length_start = tail,
       .hook_angle_start = angle,
       .hook_length_end = tail,
       .hook_angle_end = angle});
}

// A 16 mm cranked bar standing upright: lower leg, rise, offset, upper leg.
BendingShape Crank(double lower, double rise, double offset, double upper) {
  return Builder::create_freeform_shape_with_hooks(
      {Point2D(0, 0), Point2D(lower, 0), Point2D(lower + rise, offset),
       Point2D(lower + rise + upper, offset)},
      RotationAngles(0, 270, 0), Props(16, BendingShapeType::LongitudinalBar), 0, -1, -1);
}

BarPlacement Upright(const BendingShape& shape) {
  return BarPlacement::ByCount(2, shape, Point3D(0, 0, 0), Point3D(1000, 0, 0), 0, 0, 1);
}

pierhost::ExportInput OneCage(std::vector<BarPlacement> placements) {
  return {nullptr, {{"C1", {}, std::move(placements)}}, "Test", "2024-01-01"};
}

bool HasNote(const pierhost::Schedule& s, const std::string& part) {
  for (const auto& n : s.notes) {
    if (n.find(part) != std::string::npos) return true;
  }
  return false;
}

TEST(BarScheduleTest, LinkWithHooksMatchesTheWorkedCheck) {
  // 300 x 500, cover 30, 8 mm, mandrel 32, 135-degree hooks with 80 mm tails.
  const auto s = pierhost::BuildSchedule(OneCage({Upright(Link(300, 500, 30, 80, 135))}));
  ASSERT_EQ(s.marks.size(), 1u);
  const auto& m = s.marks[0];
  EXPECT_EQ(m.shape.code, "52");
  EXPECT_NEAR(m.shape.exact_length, 1168 + 3 * std::numbers::pi * 20 + 160, 1e-6);
  EXPECT_NEAR(m.shape.exact_length, 1516.5, 0.05);
  EXPECT_EQ(m.shape.A, 240);
  EXPECT_EQ(m.shape.B, 440);
  // The end projections: the 80 mm tail, the 16 mm inner radius and the bar.
  EXPECT_EQ(m.shape.C, 105);
  EXPECT_EQ(m.shape.D, 105);
  // The code's formula on the scheduled dimensions: 2(240 + 440 + 105) -
  // 1.5 x 16 - 3 x 8 = 1522, rounded up.
  EXPECT_EQ(m.scheduled_length, 1525);
  EXPECT_TRUE(HasNote(s, "end projection of 104.0 mm is below the 115 mm")) << s.notes.size();
}

TEST(BarScheduleTest, LinkWithRightAngleHooksIsShape51) {
  const auto s = pierhost::BuildSchedule(OneCage({Upright(Link(300, 500, 30, 80, 90))}));
  EXPECT_EQ(s.marks[0].shape.code, "51");
  // Three corners and two hooks of 90 degrees each.
  EXPECT_NEAR(s.marks[0].shape.exact_length, 1168 + 2.5 * std::numbers::pi * 20 + 160, 1e-6);
}

TEST(BarScheduleTest, CrankedBarMatchesTheWorkedCheck) {
  const auto s = pierhost::BuildSchedule(OneCage({Upright(Crank(3000, 450, 40, 750))}));
  ASSERT_EQ(s.marks.size(), 1u);
  const auto& m = s.marks[0];
  EXPECT_EQ(m.shape.code, "26");
  EXPECT_NEAR(m.shape.exact_length, 4201.8, 0.05);
  EXPECT_EQ(m.scheduled_length, 4205);
  EXPECT_EQ(m.shape.A, 3000);
  EXPECT_EQ(m.shape.B, 455);
  EXPECT_EQ(m.shape.C, 750);
  // The offset overall, to the outside of both legs: 40 + 16.
  EXPECT_EQ(m.shape.D, 60);
  EXPECT_FALSE(HasNote(s, "steeper"));  // 1:11
}

TEST(BarScheduleTest, ChecksUseExactNotRoundedDimensions) {
  // 71 over 430 is 1:6.06: rounded up to 75 over 440 it would look steeper.
  EXPECT_FALSE(
      HasNote(pierhost::BuildSchedule(OneCage({Upright(Crank(3000, 430, 71, 750))})), "steeper"));
  EXPECT_TRUE(HasNote(pierhost::BuildSchedule(OneCage({Upright(Crank(3000, 450, 80, 750))})),
                      "steeper than 1:6"));
  // An 89 mm tail projects 113 mm, scheduled as 115 mm but still short of
  // the least 115 mm; a 91 mm tail projects 115 mm.
  EXPECT_TRUE(HasNote(pierhost::BuildSchedule(OneCage({Upright(Link(300, 500, 30, 89, 135))})),
                      "end projection of 113.0 mm"));
  EXPECT_FALSE(HasNote(pierhost::BuildSchedule(OneCage({Upright(Link(300, 500, 30, 91, 135))})),
                       "end projection"));
}

TEST(BarScheduleTest, FourPointBarWithoutParallelLegsIsNoCrank) {
  const auto bar = Builder::create_freeform_shape_with_hooks(
      {Point2D(0, 0), Point2D(500, 0), Point2D(500, 300), Point2D(0, 300)}, RotationAngles(),
      Props(12, BendingShapeType::Freeform), 0, -1, -1);
  EXPECT_EQ(pierhost::DescribeShape(bar).code, "99");
}

// The bending tolerance on a bar's length: 5 mm up to 1 m, 10 mm up to 2 m,
// 25 mm beyond.
double BendingTolerance(double length) { return length <= 1000 ? 5 : length <= 2000 ? 10 : 25; }

TEST(BarScheduleTest, TheCodesFormulaOnTheScheduledDimensionsGivesTheBarsLength) {
  for (const double d : {6.0, 8.0, 10.0, 12.0, 16.0}) {
    for (const double angle : {90.0, 135.0}) {
      for (const auto& [w, h] : {std::pair{300.0, 500.0}, {600.0, 600.0}, {350.0, 800.0}}) {
        for (const double plan : {0.0, 30.0, 47.3}) {
          const double tail = geomkit::MinLinkTail(d);
          const BendingShape link = Builder::create_stirrup_with_user_hooks(
              {.width = w,
               .height = h,
               .model_angles = RotationAngles(0, 0, plan),
               .shape_props = Props(d, BendingShapeType::Stirrup),
               .concrete_cover_props = HostReinf::ConcreteCoverProperties::all(30),
               .stirrup_type = HostReinf::StirrupType::Column,
               .hook_length_start = tail,
               .hook_angle_start = angle,
               .hook_length_end = tail,
               .hook_angle_end = angle});
          const auto s = pierhost::BuildSchedule(OneCage({Upright(link)}));
          ASSERT_EQ(s.marks.size(), 1u);
          const auto& m = s.marks[0];
          const std::string what = "H" + std::to_string(int(d)) + " " + std::to_string(int(w)) +
                                   "x" + std::to_string(int(h)) + " hooks " +
                                   std::to_string(int(angle)) + " turned " + std::to_string(plan);
          EXPECT_EQ(m.shape.code, angle == 90 ? "51" : "52") << what;
          // Outside dimensions, free of the noise of the turned geometry.
          EXPECT_EQ(m.shape.A, w - 60) << what;
          EXPECT_EQ(m.shape.B, h - 60) << what;
          // Hooks that reach the least end projection, and no note.
          EXPECT_EQ(m.shape.C, geomkit::MinLinkEndProjection(d)) << what;
          EXPECT_EQ(m.shape.D, m.shape.C) << what;
          EXPECT_TRUE(s.notes.empty()) << what << ": " << s.notes.front();
          // The schedule's length is the formula's, and a bar bent to it is
          // the bar of the geometry within the bending tolerance.
          const double formula = pierhost::FormulaLength(m.shape);
          EXPECT_EQ(m.scheduled_length, pierhost::ScheduledLength(formula)) << what;
          EXPECT_LE(std::abs(formula - m.shape.exact_length),
                    BendingTolerance(m.shape.exact_length))
              << what << ": formula " << formula << ", bar " << m.shape.exact_length;
        }
      }
    }
  }
  for (const auto& [lower, rise, offset, upper] : {std::array{3000.0, 450.0, 40.0, 750.0},
                                                   {2800.0, 450.0, 35.0, 1000.0},
                                                   {2500.0, 300.0, 25.0, 600.0}}) {
    const auto s = pierhost::BuildSchedule(OneCage({Upright(Crank(lower, rise, offset, upper))}));
    const auto& m = s.marks[0];
    ASSERT_EQ(m.shape.code, "26");
    const double formula = pierhost::FormulaLength(m.shape);
    EXPECT_EQ(formula, m.shape.A + m.shape.B + m.shape.C);
    EXPECT_GE(formula, m.shape.exact_length);
    EXPECT_LE(formula - m.shape.exact_length, BendingTolerance(m.shape.exact_length));
    // The offset overall: the centreline's offset and the bar.
    EXPECT_EQ(m.shape.D, pierhost::ScheduledLength(offset + 16));
  }
}

TEST(BarScheduleTest, NoiseOfTurnedGeometryIsRoundedAwayBeforeRoundingUp) {
  EXPECT_EQ(pierhost::ScheduledLength(540.004), 540);
  EXPECT_EQ(pierhost::ScheduledLength(539.96), 540);
  EXPECT_EQ(pierhost::ScheduledLength(540.06), 545);
  EXPECT_EQ(pierhost::ScheduledLength(1516.5), 1520);
}

// RFC 4180 fields of one CSV record (no line breaks inside fields here).
std::vector<std::string> Fields(const std::string& record) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const char ch = record[i];
    if (quoted && ch == '"' && i + 1 < record.size() && record[i + 1] == '"') {
      out.back() += '"';
      ++i;
    } else if (ch == '"') {
      quoted = !quoted;
    } else if (ch == ',' && !quoted) {
      out.emplace_back();
    } else {
      out.back() += ch;
    }
  }
  return out;
}

TEST(ScheduleCsvTest, IdenticalCagesShareLinesAndFieldsAreQuoted) {
  const auto link = Upright(Link(300, 500, 30, 80, 135));
  const auto other = Upright(Link(300, 400, 30, 80, 135));
  pierhost::ExportInput input{
      nullptr,
      {{"C1", {}, {link, link}}, {"C1 #2", {}, {link, link}}, {"C2", {}, {other}}},
      "Block \"A\", east",
      "2024-01-01"};
  const auto schedule = pierhost::BuildSchedule(input);
  std::ostringstream out;
  pierhost::MakeScheduleCsvWriter()->Write(input, schedule, out);
  std::istringstream in(out.str());
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r') << "records end in CRLF";
    line.pop_back();
    lines.push_back(line);
    rows.push_back(Fields(line));
    EXPECT_EQ(rows.back().size(), 14u) << line;
  }
  ASSERT_GE(rows.size(), 9u);
  EXPECT_EQ(rows[1][1], "Block \"A\", east");
  EXPECT_EQ(rows[2][1], "RC-001 revision P01");
  EXPECT_EQ(rows[3][1], "3 cages in 2 groups (member table below)");
  EXPECT_EQ(rows[4][1], "2024-01-01");
  // Group, members, mark, size, members, bars in each, total, length, code.
  EXPECT_EQ(
      std::vector<std::string>(rows[7].begin(), rows[7].begin() + 9),
      (std::vector<std::string>{"G1", "C1 and 1 more", "01", "H8", "2", "2", "4", "1525", "52"}));
  EXPECT_EQ(std::vector<std::string>(rows[8].begin(), rows[8].begin() + 9),
            (std::vector<std::string>{"G2", "C2", "02", "H8", "1", "1", "1", "1325", "52"}));
  // Marks and shape codes are quoted, so that a spreadsheet told to keep
  // quoted fields as text keeps "01"; counts and lengths are not.
  EXPECT_EQ(lines[7].rfind("\"G1\",\"C1 and 1 more\",\"01\",\"H8\",2,", 0), 0u) << lines[7];
  // 4 x 1.525 m + 1.325 m of 0.395 kg/m.
  bool total = false;
  for (const auto& r : rows) total = total || (r[0] == "Total" && r[3] == "2.93");
  EXPECT_TRUE(total) << out.str();
  // The member table: each cage and its group.
  const auto member = std::find(
      rows.begin(), rows.end(),
      std::vector<std::string>{"Member table", "", "", "", "", "", "", "", "", "", "", "", "", ""});
  ASSERT_NE(member, rows.end());
  ASSERT_EQ(rows.end() - member, 5);
  EXPECT_EQ(member[2][0] + "/" + member[2][1], "C1/G1");
  EXPECT_EQ(member[3][0] + "/" + member[3][1], "C1 #2/G1");
  EXPECT_EQ(member[4][0] + "/" + member[4][1], "C2/G2");

  const std::string table = pierhost::ScheduleTable(input, schedule);
  EXPECT_NE(table.find("G1: C1 and 1 more"), std::string::npos) << table;
  EXPECT_EQ(table.find('\r'), std::string::npos);
}

// A 300 x 500 column with its first corner at `origin`, turned in plan by
// `plan_deg`: one zone of links and two corner bars along its first side.
pierhost::ExportInput TurnedColumn(double plan_deg, Point2D origin) {
  const double c = std::cos(plan_deg * std::numbers::pi / 180),
               s = std::sin(plan_deg * std::numbers::pi / 180);
  auto at = [&](double x, double y, double z = 0) {
    return Point3D(origin.X() + x * c - y * s, origin.Y() + x * s + y * c, z);
  };
  auto model =
      HostElementAdapter::ElementModel::Builder("Turned")
          .AddColumn("C1",
                     {at(0, 0).To2D(), at(300, 0).To2D(), at(300, 500).To2D(), at(0, 500).To2D()},
                     0, 3000)
          .Build();
  BendingShape link = Link(300, 500, 30, 80, 135, plan_deg);
  const auto links = BarPlacement::BySpacing(2, link, at(0, 0), at(0, 0, 3000), 30, 30, 200);
  const auto bar = Builder::create_longitudinal_shape_with_hooks(
      3200, RotationAngles(0, 270, 0), Props(16, BendingShapeType::LongitudinalBar),
      HostReinf::ConcreteCoverProperties::all(0), -1, -1);
  const auto bars = BarPlacement::ByCount(2, bar, at(0, 46), at(300, 46), 38, 38, 2);
  return {model, {{"C1", {"C1"}, {links, bars}}}, "Turned", "2024-01-01"};
}

std::string Drawing(const pierhost::ExportInput& input) {
  std::ostringstream out;
  pierhost::MakeDrawingSvgWriter()->Write(input, pierhost::BuildSchedule(input), out);
  return out.str();
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::vector<double> Numbers(const std::string& text) {
  static const std::regex number(R"(-?\d+(\.\d+)?)");
  std::vector<double> out;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), number);
       it != std::sregex_iterator(); ++it) {
    out.push_back(std::stod(it->str()));
  }
  return out;
}

TEST(DrawingSvgTest, SectionIsDrawnInTheColumnsOwnFrame) {
  const std::string straight = Drawing(TurnedColumn(0, Point2D(0, 0)));
  const std::string turned_whole = Drawing(TurnedColumn(30, Point2D(5000, 2000)));
  // The turned column's section says how it lies in the plan; the other
  // needs no such reference.
  const std::regex orientation(R"(<g class="orientation">[^]*?</g>\n)");
  EXPECT_EQ(straight.find("orientation"), std::string::npos);
  EXPECT_TRUE(std::regex_search(turned_whole, orientation));
  EXPECT_NE(turned_whole.find("first side at 30\u00b0 to x"), std::string::npos);
  const std::string turned = std::regex_replace(turned_whole, orientation, "");
  // The same sheet, up to a last rounded digit.
  EXPECT_EQ(std::regex_replace(straight, std::regex(R"(-?\d+(\.\d+)?)"), "#"),
            std::regex_replace(turned, std::regex(R"(-?\d+(\.\d+)?)"), "#"));
  const auto a = Numbers(straight), b = Numbers(turned);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], 0.011) << "number " << i;

  // The zone's 16 links share the 2932 mm between the first and the last:
  // 195.5 mm apart, not the 200 mm of the palette.
  for (const char* part :
       {"SECTION A-A", "2 H16-02", "16 H8-01-195", "cover 30", ">300<", ">500<", "+3.000"}) {
    EXPECT_NE(straight.find(part), std::string::npos) << part;
  }
  // No text on the sheet is smaller than 2.5 mm.
  const std::regex size(R"re(font-size="([\d.]+)")re");
  for (auto it = std::sregex_iterator(turned.begin(), turned.end(), size);
       it != std::sregex_iterator(); ++it) {
    EXPECT_GE(std::stod((*it)[1]), 2.5) << (*it)[0];
  }
  // The section's two corner bars, 16 mm at 1:5, lie on one horizontal line
  // 46 mm above the first side.
  const std::regex circle(R"re(<circle class="bar" cx="([-\d.]+)" cy="([-\d.]+)" r="1.6"/>)re");
  std::vector<std::pair<double, double>> centres;
  for (auto it = std::sregex_iterator(turned.begin(), turned.end(), circle);
       it != std::sregex_iterator(); ++it) {
    centres.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
  }
  ASSERT_EQ(centres.size(), 2u);
  EXPECT_NEAR(centres[0].second, centres[1].second, 0.011);
  EXPECT_NEAR(std::abs(centres[1].first - centres[0].first), 208 / 5.0, 0.011);
}

TEST(DrawingSvgTest, ABarWithoutAStandardCodeIsSketchedWithItsLegsAndBends) {
  auto input = TurnedColumn(0, Point2D(0, 0));
  // A U of 12 mm: legs of 500, 300 and 500 mm and two right-angle bends.
  const auto u = Builder::create_freeform_shape_with_hooks(
      {Point2D(0, 0), Point2D(500, 0), Point2D(500, 300), Point2D(0, 300)}, RotationAngles(),
      Props(12, BendingShapeType::Freeform), 0, -1, -1);
  input.cages[0].placements.push_back(
      BarPlacement::ByCount(3, u, Point3D(0, 0, 1000), Point3D(0, 0, 1200), 0, 0, 1));
  const std::string svg = Drawing(input);
  const auto at = svg.find("shape code 99: H12");
  ASSERT_NE(at, std::string::npos) << "no sketch";
  const std::string sketch =
      svg.substr(svg.rfind("<polyline", at), svg.find("<rect", at) - svg.rfind("<polyline", at));
  for (const char* part : {">500<", ">300<", ">90\u00b0<", "legs to the corners"}) {
    EXPECT_NE(sketch.find(part), std::string::npos) << part << " in\n" << sketch;
  }
  EXPECT_EQ(Count(sketch, ">500<"), 2u);
  EXPECT_EQ(Count(sketch, ">90\u00b0<"), 2u);
}

}  // namespace
