// The IFC writer's building blocks (ids, numbers, strings, rounded
// centrelines) and the file it writes for a small cage.
#include "app/export/ifc_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <regex>
#include <set>
#include <sstream>

#include "app/export/exporter.h"
#include "support/expect_geo.h"

namespace pierhost::ifc {
namespace {

using HostGeo::Point3D;
using HostGeo::Vector3D;
using testsupport::PointNear;

Hash128 FromUuid(std::uint64_t high, std::uint64_t low) { return {high, low}; }

TEST(IfcWriterTest, GlobalIdEncodesMostSignificantBitsFirst) {
  // 0f8fad5b-d9cb-469f-a165-70867728950e and 60f91daf-3dd7-4283-a86d-24137b73f3da.
  EXPECT_EQ(EncodeGlobalId(FromUuid(0x0f8fad5bd9cb469fULL, 0xa16570867728950eULL)),
            "0FZwrRsSj6dw5bS8PtA9KE");
  EXPECT_EQ(EncodeGlobalId(FromUuid(0x60f91daf3dd74283ULL, 0xa86d24137b73f3daULL)),
            "1W_HslFTT2WwXj91DxS$FQ");
  EXPECT_EQ(EncodeGlobalId(FromUuid(0, 0)), std::string(22, '0'));
  EXPECT_EQ(EncodeGlobalId(FromUuid(~0ULL, ~0ULL)), "3" + std::string(21, '$'));
}

TEST(IfcWriterTest, HashIsTheStandard128BitFnv1a) {
  EXPECT_EQ(Fnv1a128(""), FromUuid(0x6c62272e07bb0142ULL, 0x62b821756295c58dULL));
  EXPECT_EQ(Fnv1a128("a"), FromUuid(0xd228cb696f1a8cafULL, 0x78912b704e4a8964ULL));
}

TEST(IfcWriterTest, StableGlobalIdsAreWellFormedRepeatableAndDistinct) {
  const std::regex form("[0-3][0-9A-Za-z_$]{21}");
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string id = StableGlobalId("Two-storey frame/bar/C1/01/" + std::to_string(i));
    ASSERT_TRUE(std::regex_match(id, form)) << id;
    ASSERT_TRUE(seen.insert(id).second) << "repeated id " << id;
  }
  EXPECT_EQ(StableGlobalId("Two-storey frame/cage/C1"), StableGlobalId("Two-storey frame/cage/C1"));
  // Siblings differ in their leading digits too, not only in the last ones.
  EXPECT_NE(StableGlobalId("x1").substr(0, 8), StableGlobalId("x2").substr(0, 8));
}

TEST(IfcWriterTest, RealsAlwaysCarryADecimalPoint) {
  EXPECT_EQ(StepReal(16), "16.");
  EXPECT_EQ(StepReal(-0.0), "0.");
  EXPECT_EQ(StepReal(1e-17), "0.");
  EXPECT_EQ(StepReal(12090.57), "12090.57");
  EXPECT_EQ(StepReal(1e-5), "1.E-05");
  EXPECT_EQ(StepReal(2.0106192982974676e-4), "0.0002010619298");
  EXPECT_EQ(StepReal(-2.5e20), "-2.5E+20");
  EXPECT_EQ(StepReal(2533.9999999999995), "2534.");
  EXPECT_THROW(StepReal(std::nan("")), std::invalid_argument);
}

TEST(IfcWriterTest, StringsAreEscaped) {
  EXPECT_EQ(StepString("C1"), "'C1'");
  EXPECT_EQ(StepString("O'Brien's"), "'O''Brien''s'");
  EXPECT_EQ(StepString("a\\b"), "'a\\\\b'");
  EXPECT_EQ(StepString("Stütze Ø16"), "'St\\X2\\00FC\\X0\\tze \\X2\\00D8\\X0\\16'");
  EXPECT_EQ(StepString("\xF0\x9F\x8F\x97"), "'\\X2\\D83CDFD7\\X0\\'");  // beyond 16 bits
  EXPECT_EQ(StepString("a\nb"), "'a\\X\\0Ab'");
  EXPECT_EQ(StepString("\xC3"), "'\\X2\\FFFD\\X0\\'");  // cut off sequence
}

// The distance from `p` to the arc through the three points.
double DistanceToArc(const Point3D& p, const Point3D& a, const Point3D& m, const Point3D& b) {
  // Circumcentre of a, m, b.
  const Vector3D ab(a, b), am(a, m);
  const Vector3D n = ab.Cross(am);
  const Vector3D to_centre =
      (n.Cross(ab) * am.Dot(am) + am.Cross(n) * ab.Dot(ab)) * (1.0 / (2.0 * n.Dot(n)));
  const Point3D centre = a + to_centre;
  return std::abs(centre.GetDistance(p) - to_centre.GetLength());
}

TEST(IfcWriterTest, FilletRoundsARightAngleWithTheBendRadius) {
  const IndexedCurve c = FilletPolyline({{0, 0, 0}, {100, 0, 0}, {100, 100, 0}}, 20);
  ASSERT_EQ(c.points.size(), 5u);
  ASSERT_EQ(c.segments.size(), 3u);
  EXPECT_FALSE(c.segments[0].arc);
  EXPECT_EQ(c.segments[0].indices, (std::vector<int>{1, 2}));
  EXPECT_TRUE(c.segments[1].arc);
  EXPECT_EQ(c.segments[1].indices, (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(c.segments[2].indices, (std::vector<int>{4, 5}));
  EXPECT_TRUE(PointNear(c.points[1], {80, 0, 0}));
  EXPECT_TRUE(PointNear(c.points[3], {100, 20, 0}));
  // The middle point lies on the circle of radius 20 about (80, 20).
  EXPECT_NEAR(c.points[2].GetDistance({80, 20, 0}), 20, 1e-9);
  EXPECT_NEAR(c.points[2].X(), 80 + 20 * std::sqrt(0.5), 1e-9);
}

TEST(IfcWriterTest, FilletOfAHookBendsInsideTheCorner) {
  // A 135-degree hook: the tangent points sit R tan(67.5 deg) from the corner.
  const double r = 20;
  const Point3D corner(0, 0, 0);
  const Point3D tail(80 * std::sqrt(0.5), 80 * std::sqrt(0.5), 0);
  const IndexedCurve c = FilletPolyline({tail, corner, {200, 0, 0}}, r);
  ASSERT_EQ(c.segments.size(), 3u);
  const double t = r * std::tan(67.5 / 180 * std::numbers::pi);
  const Point3D a = c.points[1], m = c.points[2], b = c.points[3];
  EXPECT_NEAR(a.GetDistance(corner), t, 1e-9);
  EXPECT_NEAR(b.GetDistance(corner), t, 1e-9);
  EXPECT_TRUE(PointNear(b, {t, 0, 0}));
  // The arc's radius is R, and its middle lies between the legs.
  const Point3D centre(t, r, 0);
  EXPECT_NEAR(m.GetDistance(centre), r, 1e-9);
  EXPECT_NEAR(a.GetDistance(centre), r, 1e-9);
  EXPECT_GT(m.Y(), 0);
  EXPECT_LT(m.Y(), m.X());
  EXPECT_NEAR(DistanceToArc({t + r * std::sin(0.3), r - r * std::cos(0.3), 0}, a, m, b), 0, 1e-9);
}

TEST(IfcWriterTest, FilletShrinksBendsThatShareAShortLeg) {
  // A U of 30 mm width with R = 20: both bends want 20 mm of the 30 mm leg.
  const IndexedCurve c = FilletPolyline({{0, 100, 0}, {0, 0, 0}, {30, 0, 0}, {30, 100, 0}}, 20);
  ASSERT_EQ(c.segments.size(), 4u);  // line, arc, arc, line: the arcs meet
  EXPECT_TRUE(c.segments[1].arc);
  EXPECT_TRUE(c.segments[2].arc);
  EXPECT_EQ(c.segments[1].indices.back(), c.segments[2].indices.front());
  EXPECT_TRUE(PointNear(c.points[c.segments[1].indices.back() - 1], {15, 0, 0}));
}

TEST(IfcWriterTest, FilletKeepsStraightRunsAndDropsRepeatedPoints) {
  const IndexedCurve straight = FilletPolyline({{0, 0, 0}, {0, 0, 0}, {0, 0, 3000}}, 40);
  ASSERT_EQ(straight.points.size(), 2u);
  ASSERT_EQ(straight.segments.size(), 1u);
  EXPECT_FALSE(straight.segments[0].arc);
  // A crank of 1:11 is a real bend and gets a (short) arc.
  const IndexedCurve crank =
      FilletPolyline({{0, 0, 0}, {0, 0, 2800}, {40, 0, 3250}, {40, 0, 4250}}, 40);
  EXPECT_EQ(crank.segments.size(), 5u);
  EXPECT_THROW(FilletPolyline({{1, 2, 3}, {1, 2, 3}}, 40), std::invalid_argument);
}

TEST(IfcWriterTest, FilletOfAClosedLinkDoesNotEndWhereItStarts) {
  const Point3D hook_end(56.57, 56.57, 0);
  const IndexedCurve c = FilletPolyline(
      {hook_end, {0, 0, 0}, {232, 0, 0}, {232, 232, 0}, {0, 232, 0}, {0, 0, 0}, hook_end}, 20);
  const double gap = c.points.front().GetDistance(c.points.back());
  EXPECT_NEAR(gap, 0.1, 1e-9);
  EXPECT_TRUE(PointNear(c.points.front(), hook_end));
}

// The writer on a model of one column with one placement of two bent bars.
TEST(IfcWriterTest, WritesEachBarOnceWithASharedShape) {
  auto model = HostElementAdapter::ElementModel::Builder("It's a test")
                   .AddColumn("C1", {{0, 0}, {300, 0}, {300, 300}, {0, 300}}, 0, 3000)
                   .Build();
  HostReinf::ReinforcementShapeProperties props;
  props.diameter = 12;
  props.shape_type = HostReinf::BendingShapeType::LongitudinalBar;
  const HostReinf::BendingShape shape({{0, 0, 0}, {0, 0, 2000}, {200, 0, 2000}}, props);
  ExportInput input{model, {}, "Project 'P'", "2024-05-01"};
  input.cages.push_back(
      {"C1",
       {"C1"},
       {HostReinf::BarPlacement::ByCount(1, shape, {50, 50, 0}, {50, 250, 0}, 0, 0, 2)}});
  const Schedule schedule = BuildSchedule(input);
  std::ostringstream out;
  MakeIfcWriter()->Write(input, schedule, out);
  const std::string text = out.str();
  const auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("=IFCREINFORCINGBAR("), 2u);
  EXPECT_EQ(count("=IFCSWEPTDISKSOLID("), 1u);
  // The bars of a row share one mapped shape, each at its own placement.
  EXPECT_EQ(count("=IFCMAPPEDITEM("), 1u);
  EXPECT_EQ(count("=IFCPRODUCTDEFINITIONSHAPE("), 2u);  // the column's and the bars' one
  EXPECT_EQ(count("IFCARCINDEX("), 1u);
  EXPECT_EQ(count("=IFCCOLUMN("), 1u);
  EXPECT_NE(text.find("FILE_NAME('cage.ifc','2024-05-01T00:00:00'"), std::string::npos);
  EXPECT_NE(text.find("'Project ''P'''"), std::string::npos);
  EXPECT_NE(text.find(",'B500B',12.,0.0001130973355,"), std::string::npos);
  // The bars stand where the placement puts them (its line, covers 0 + d/2).
  EXPECT_NE(text.find("IFCCARTESIANPOINT((50.,56.,0.))"), std::string::npos);
  EXPECT_NE(text.find("IFCCARTESIANPOINT((50.,244.,0.))"), std::string::npos);
  // A re-export is the same file.
  std::ostringstream again;
  MakeIfcWriter()->Write(input, schedule, again);
  EXPECT_EQ(again.str(), text);
}

}  // namespace
}  // namespace pierhost::ifc
