#include <gtest/gtest.h>
#include <cmath>

#include "host/reinf.h"
#include "support/expect_geo.h"

namespace {

using namespace HostReinf;
using HostGeo::Point3D;
using HostGeo::RotationAngles;

BendingShape Bar(double d, double length = 1000) {
  return GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks(
      length, RotationAngles(0, 270, 0),
      ReinforcementShapeProperties::rebar(d, 4, 4, 4, BendingShapeType::LongitudinalBar),
      ConcreteCoverProperties::all(0), -1, -1);
}

TEST(PlacementByCount, SpreadsBarsOverTheIntervalInsideTheCovers) {
  using LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_count;
  // Line 400 long, covers to the bar surface 30 and 50, d = 20.
  const auto p =
      create_linear_bar_placement_from_to_by_count(2, Bar(20), {0, 0, 0}, {400, 0, 0}, 30, 50, 3);
  EXPECT_EQ(p.GetPositionNumber(), 2);
  EXPECT_EQ(p.GetBarOffsets(), (std::vector<double>{40, 190, 340}));
  const auto one =
      create_linear_bar_placement_from_to_by_count(2, Bar(20), {0, 0, 0}, {400, 0, 0}, 30, 50, 1);
  EXPECT_EQ(one.GetBarOffsets(), (std::vector<double>{40}));
  const auto none =
      create_linear_bar_placement_from_to_by_count(2, Bar(20), {0, 0, 0}, {400, 0, 0}, 30, 50, 0);
  EXPECT_EQ(none.GetBarCount(), 0u);
  // Bar k is the shape translated along the line.
  const auto bars = p.GetBars();
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_POLYLINE_NEAR(bars[1], (std::vector<Point3D>{{190, 0, 0}, {190, 0, 1000}}));
}

TEST(PlacementBySpacing, UsesAsFewBarsAsKeepEveryGapWithinTheSpacing) {
  using LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_dist;
  // Usable interval 30 + 4 .. 3000 - 30 - 4: 2932 mm.
  const auto p =
      create_linear_bar_placement_from_to_by_dist(2, Bar(8), {0, 0, 0}, {0, 0, 3000}, 30, 30, 200);
  ASSERT_EQ(p.GetBarCount(), 16u);  // 15 gaps of 195.47
  const auto& t = p.GetBarOffsets();
  EXPECT_DOUBLE_EQ(t.front(), 34);
  EXPECT_DOUBLE_EQ(t.back(), 2966);
  for (std::size_t k = 1; k < t.size(); ++k) EXPECT_LE(t[k] - t[k - 1], 200 + 1e-9);
  // An interval of exactly k spacings takes k gaps.
  const auto exact =
      create_linear_bar_placement_from_to_by_dist(2, Bar(10), {0, 0, 0}, {0, 0, 1010}, 0, 0, 100);
  EXPECT_EQ(exact.GetBarCount(), 11u);
}

TEST(Placement, ReversedLinesAreLegalAndShortLinesCollapseToTheMiddle) {
  using LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_dist;
  const auto down =
      create_linear_bar_placement_from_to_by_dist(2, Bar(10), {0, 0, 600}, {0, 0, 0}, 0, 0, 100);
  EXPECT_POINT_NEAR(down.GetBars().front().front(), Point3D(0, 0, 595));
  EXPECT_POINT_NEAR(down.GetBars().back().front(), Point3D(0, 0, 5));
  const auto tight =
      create_linear_bar_placement_from_to_by_dist(2, Bar(10), {0, 0, 0}, {0, 0, 50}, 30, 30, 100);
  ASSERT_EQ(tight.GetBarCount(), 1u);
  EXPECT_DOUBLE_EQ(tight.GetBarOffsets()[0], 25);
}

TEST(Placement, BadInputIsAClearErrorNeverAHang) {
  using LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_count;
  using LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_dist;
  const Point3D a{0, 0, 0}, b{0, 0, 3000};
  auto message = [](auto&& f) {
    try {
      f();
    } catch (const std::invalid_argument& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_dist(2, Bar(8), a, b, 0, 0, 0);
            }).find("spacing"),
            std::string::npos);
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_dist(2, Bar(8), a, b, 0, 0, -5);
            }).find("spacing"),
            std::string::npos);
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_dist(2, Bar(8), a, b, 0, 0, std::nan(""));
            }).find("spacing"),
            std::string::npos);
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_count(2, Bar(8), a, b, 0, 0, -1);
            }).find("count"),
            std::string::npos);
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_count(2, Bar(8), a, b, 0, 0, 2.5);
            }).find("count"),
            std::string::npos);
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_count(2, Bar(8), a, a, 0, 0, 2);
            }).find("zero length"),
            std::string::npos);
  EXPECT_NE(
      message([&] {
        create_linear_bar_placement_from_to_by_count(2, Bar(8), a, {std::nan(""), 0, 0}, 0, 0, 2);
      }).find("finite"),
      std::string::npos);
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_count(2, BendingShape(), a, b, 0, 0, 2);
            }).find("invalid"),
            std::string::npos);
  // Past the limit: refused before any bar is made, also for tiny spacings.
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_count(2, Bar(8), a, b, 0, 0, 10001);
            }).find("at most 10000"),
            std::string::npos);
  EXPECT_NE(message([&] {
              create_linear_bar_placement_from_to_by_dist(2, Bar(8), a, b, 0, 0, 1e-9);
            }).find("at most 10000"),
            std::string::npos);
  EXPECT_EQ(
      create_linear_bar_placement_from_to_by_count(2, Bar(8), a, b, 0, 0, 10000).GetBarCount(),
      10000u);
}

}  // namespace
