// The corner points of picked elements: boxes as the host reports them, wall
// layers with openings rebuilt from their wall's axis line.
#include "analysis/siteprobe.h"

#include <gtest/gtest.h>

#include <string>

#include "support/expect_geo.h"

namespace {

using HostElementAdapter::BaseElementAdapter;
using HostElementAdapter::ElementModel;
using HostGeo::Point3D;
using siteprobe::PointList;

// W1 runs along x with three layers, a door and a window; W2 runs askew (a
// 3-4-5 direction) and has a second axis line added after its own.
std::shared_ptr<const ElementModel> TestModel() {
  return ElementModel::Builder("probe test")
      .AddColumn("C1", {{0, 0}, {300, 0}, {300, 500}, {0, 500}}, 0, 3000)
      .AddWall("W1", {1000, 2000}, {6000, 2000}, 200, 100, 2900,
               {{"W1.1", 60}, {"W1.2", 60}, {"W1.3", 80}},
               {{"D1", "door", 1000, 900, 2100}, {"N1", "window", 3000, 1200, 1200, 900}})
      .AddWall("W2", {0, 10000}, {4000, 13000}, 200, 0, 3000, {{"W2.1", 200}},
               {{"D2", "door", 1000, 1000, 2000}})
      .AddAxisLine("W2", {0, 10050}, {4000, 13050})
      .AddWall("W3", {0, 20000}, {3000, 20000}, 250, 0, 2500, {{"W3.1", 250}}, {})
      .AddSolid(
          "S8",
          {{0, 0, 0}, {7, 0, 0}, {7, 9, 1}, {0, 9, 0}, {1, 1, 5}, {6, 1, 5}, {6, 8, 5}, {1, 8, 4}})
      .AddSolid("X1", {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {0, 0, 100}, {50, 50, 200}})
      .Build();
}

class Siteprobe : public testing::Test {
 protected:
  BaseElementAdapter Element(const std::string& id) const { return {model_, *model_->Find(id)}; }
  PointList Corners(const std::string& id) const { return siteprobe::Output_Points(Element(id)); }
  std::shared_ptr<const ElementModel> model_ = TestModel();
};

TEST_F(Siteprobe, LayerWithOpeningsGetsTheEightCornersFromTheWallAxis) {
  ASSERT_GT(Element("W1.1").GetGeometry().GetVertices().size(), 8u);
  // The axis ends at the lowest level, the layer's vertices nearest to them,
  // and the same four at the highest level. W1.1 lies 40 to 100 mm left of
  // the axis, W1.2 from 40 mm left to 20 mm right of it.
  const PointList outer{{1000, 2000, 100},  {6000, 2000, 100},  {6000, 2040, 100},
                        {1000, 2040, 100},  {1000, 2000, 2900}, {6000, 2000, 2900},
                        {6000, 2040, 2900}, {1000, 2040, 2900}};
  EXPECT_POLYLINE_NEAR(Corners("W1.1"), outer);
  const PointList middle{{1000, 2000, 100},  {6000, 2000, 100},  {6000, 1980, 100},
                         {1000, 1980, 100},  {1000, 2000, 2900}, {6000, 2000, 2900},
                         {6000, 1980, 2900}, {1000, 1980, 2900}};
  EXPECT_POLYLINE_NEAR(Corners("W1.2"), middle);
}

TEST_F(Siteprobe, OfTwoAxisLinesTheLaterOneDecides) {
  // W2's own axis runs from (0, 10000); the later one 50 mm further along y.
  // The layer spans 100 mm each side of the first axis, across (-0.6, 0.8):
  // the vertex nearest the later axis's start is (-60, 10080), nearest its end
  // (3940, 13080). From the first axis both faces lie 100 mm away and the
  // first listed vertex, on the other face, would win.
  const PointList corners = Corners("W2.1");
  const PointList expected{{0, 10050, 0},       {4000, 13050, 0},  {3940, 13080, 0},
                           {-60, 10080, 0},     {0, 10050, 3000},  {4000, 13050, 3000},
                           {3940, 13080, 3000}, {-60, 10080, 3000}};
  EXPECT_POLYLINE_NEAR(corners, expected);
}

TEST_F(Siteprobe, ElementsOfExactlyEightVerticesComeBackAsTheHostReportsThem) {
  // A column, a wall layer without openings (not rebuilt from the axis) and
  // a free body that is no box (read through its model geometry).
  for (const char* id : {"C1", "W3.1", "S8"}) {
    SCOPED_TRACE(id);
    const auto e = Element(id);
    EXPECT_EQ(Corners(id), e.GetModelGeometry().GetVertices());
  }
}

TEST_F(Siteprobe, ElementsWithoutAWallAxisAndEmptyListsAreErrors) {
  try {
    Corners("X1");
    ADD_FAILURE() << "a five-vertex body outside any wall got corners";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("X1"), std::string::npos) << e.what();
  }
  EXPECT_THROW(siteprobe::Get_min_z({}), std::invalid_argument);
  EXPECT_THROW(siteprobe::Get_max_z({}), std::invalid_argument);
  EXPECT_THROW(siteprobe::Get_closet_point({}, {0, 0, 0}), std::invalid_argument);
  EXPECT_THROW(siteprobe::Get_closet_point({{1, 2, 3}, {1, 2, 3}}, {1, 2, 3}),
               std::invalid_argument);
}

TEST_F(Siteprobe, PointHelpers) {
  EXPECT_EQ(siteprobe::Get_min_z({{1, 2, 7}}), 7);
  EXPECT_EQ(siteprobe::Get_max_z({{1, 2, 7}}), 7);
  EXPECT_EQ(siteprobe::Get_min_z({{0, 0, 4}, {0, 0, -2}, {0, 0, 9}}), -2);
  EXPECT_EQ(siteprobe::Get_max_z({{0, 0, 4}, {0, 0, -2}, {0, 0, 9}}), 9);
  EXPECT_EQ(siteprobe::Point_from_point({1, 2, 3}, -5), Point3D(1, 2, -5));
  // Of two at the same distance the first wins; the point itself never does.
  EXPECT_EQ(siteprobe::Get_closet_point({{5, 0, 0}, {0, 0, 0}, {0, 3, 0}, {3, 0, 0}}, {0, 0, 0}),
            Point3D(0, 3, 0));
  PointList points{{1, 0, 0}, {2, 0, 0}};
  const PointList& same = siteprobe::Get_point_list_maxz(points, 10);
  EXPECT_EQ(&same, &points);
  EXPECT_EQ(points, (PointList{{1, 0, 0}, {2, 0, 0}, {1, 0, 10}, {2, 0, 10}}));
}

}  // namespace
