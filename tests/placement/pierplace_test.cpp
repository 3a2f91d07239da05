#include "placement/pierplace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/expect_geo.h"

namespace {

using HostGeo::Point2D;
using HostGeo::Point3D;
using HostGeo::Vector3D;
using HostReinf::ConcreteCoverProperties;
using testing::HasSubstr;

const double kCos30 = std::cos(std::numbers::pi / 6);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename E, typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "no exception of the expected type was thrown";
  return {};
}

// geomkit's moves at a plan angle of 30°: along it (parallel) and across it
// (perpendicular), with sign factors and unscaled offsets.
Vector3D Along(double length, double dir_x, double dir_y, const Vector3D& delta = {}) {
  return Vector3D(length * kCos30 * dir_x, length * 0.5 * dir_y, 0) + delta;
}
Vector3D Across(double length, double dir_x, double dir_y, const Vector3D& delta = {}) {
  return Vector3D(length * 0.5 * dir_x, length * kCos30 * dir_y, 0) + delta;
}

std::vector<Point3D> Upright(const Point3D& foot, double height) {
  return {foot, foot + Vector3D(0, 0, height)};
}

TEST(CrankShape, RisesStraightThenStepsAsideThenRisesAgain) {
  EXPECT_EQ(pierplace::crank_shape(-2800, 500, 30, 600),
            (std::vector<Point2D>{{0, 0}, {0, 2800}, {30, 3300}, {30, 3900}}));
  EXPECT_EQ(pierplace::crank_shape(1200, 150, 0, 400),
            (std::vector<Point2D>{{0, 0}, {0, 1200}, {0, 1350}, {0, 1750}}));
}

// Cranked bars of d = 20 along a 500 mm line, stood up by (90, 0, 30).
pierplace::CrankCountMoveArgs Cranks(double direction) {
  return {.bending_roller = 4,
          .steel_grade = 4,
          .Concr_Cover = 40,
          .Concr_Grade = 4,
          .points = pierplace::crank_shape(-2800, 500, 30, 600),
          .point1 = {1000, 0, 0},
          .point2 = {1000, 500, 0},
          .diameter = 20,
          .X_Angel = 90,
          .Y_Angle = 0,
          .Z_Angle = 30,
          .Number = 2,
          .Move_length1 = 60,
          .Move_length2 = 70,
          .angle = HostGeo::Angle::FromDeg(30),
          .dir_x = 1,
          .dir_y = 1,
          .delta_x = 1,
          .delta_y = 2,
          .delta_z = 3,
          .dir_x2 = -1,
          .dir_y2 = 1,
          .delta_x2 = 4,
          .delta_y2 = 5,
          .delta_z2 = 6,
          .direction = direction};
}

TEST(CrankCountMove, StandsTheCrankUprightAndStepsItTowardsThePlanAngle) {
  const auto placements = pierplace::Crank_Count_Move(Cranks(1));
  ASSERT_EQ(placements.size(), 1u);
  EXPECT_EQ(placements[0].GetPositionNumber(), 2);
  const auto bars = placements[0].GetBars();
  ASSERT_EQ(bars.size(), 2u);
  const auto& bar = bars[0];
  ASSERT_EQ(bar.size(), 4u);
  // Full length (the shape has no cover): upright 2800, step 30 towards 30°
  // in plan while rising 500, upright 600.
  EXPECT_VECTOR_NEAR(Vector3D(bar[0], bar[1]), Vector3D(0, 0, 2800));
  EXPECT_VECTOR_NEAR(Vector3D(bar[1], bar[2]), Vector3D(30 * kCos30, 15, 500));
  EXPECT_VECTOR_NEAR(Vector3D(bar[2], bar[3]), Vector3D(0, 0, 600));
  // Direction 1: across with the first move's values, then along with the
  // second's; Concr_Cover at both ends of the line.
  const Vector3D moved = Across(60, 1, 1, {1, 2, 3}) + Along(70, -1, 1, {4, 5, 6});
  EXPECT_POINT_NEAR(bar[0], Point3D(1000, 50, 0) + moved);
  EXPECT_POINT_NEAR(bars[1][0], Point3D(1000, 450, 0) + moved);
}

TEST(CrankCountMove, OtherDirectionsMoveAlongFirstThenAcross) {
  for (const double direction : {-1.0, 0.0}) {
    const auto bar = pierplace::Crank_Count_Move(Cranks(direction))[0].GetBars()[0];
    EXPECT_POINT_NEAR(
        bar[0], Point3D(1000, 50, 0) + Along(60, 1, 1, {1, 2, 3}) + Across(70, -1, 1, {4, 5, 6}));
  }
}

shapekit::LongitCountMoveArgs MainBars(double direction) {
  return {.bending_roller = 4,
          .steel_grade = 4,
          .concrete_cover_props = ConcreteCoverProperties::all(0),
          .Concr_Cover = 0,
          .Concr_Grade = 4,
          .point1 = {0, 0, 0},
          .point2 = {400, 0, 0},
          .diameter = 20,
          .Height = 3000,
          .X_Angel = 0,
          .Y_Angle = 270,
          .Z_Angle = 0,
          .Number = 2,
          .Concr_Bottom = 40,
          .Concr_Top = 40,
          .Move_length = 100,
          .angle = HostGeo::Angle::FromDeg(30),
          .dir_x = 1,
          .dir_y = -1,
          .delta_x = 0,
          .delta_y = 0,
          .delta_z = 0,
          .direction = direction};
}

TEST(LongitCountMove, MovesAcrossOnlyForDirectionOneAndKeepsTheBarsCovers) {
  for (const auto& [direction, move] :
       {std::pair{1.0, Across(100, 1, -1)}, std::pair{-1.0, Along(100, 1, -1)},
        std::pair{0.0, Along(100, 1, -1)}}) {
    SCOPED_TRACE(direction);
    auto args = MainBars(direction);
    // The bar itself keeps its end covers: 30 off its foot, 20 off its head.
    args.concrete_cover_props = {.left = 30, .right = 20, .top = 0, .bottom = 0};
    const auto bars = pierplace::Longit_Count_Move(args).GetBars();
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_POLYLINE_NEAR(bars[0], Upright(Point3D(50, 0, 30) + move, 2950));
    EXPECT_POLYLINE_NEAR(bars[1], Upright(Point3D(350, 0, 30) + move, 2950));
  }
}

pierplace::LongitCountMove2directArgs TwoWays(double direction) {
  const auto a = MainBars(direction);
  return {.bending_roller = a.bending_roller,
          .steel_grade = a.steel_grade,
          .concrete_cover_props = a.concrete_cover_props,
          .Concr_Cover = a.Concr_Cover,
          .Concr_Grade = a.Concr_Grade,
          .point1 = a.point1,
          .point2 = a.point2,
          .diameter = a.diameter,
          .Height = a.Height,
          .X_Angel = a.X_Angel,
          .Y_Angle = a.Y_Angle,
          .Z_Angle = a.Z_Angle,
          .Number = a.Number,
          .Concr_Bottom = a.Concr_Bottom,
          .Concr_Top = a.Concr_Top,
          .Move_length1 = 60,
          .Move_length2 = 70,
          .angle = a.angle,
          .dir_x1 = 1,
          .dir_y1 = -1,
          .dir_x2 = -1,
          .dir_y2 = 1,
          .delta_x = 1,
          .delta_y = 2,
          .delta_z = 500,
          .direction = direction};
}

TEST(LongitCountMove2direct, LiftsOnceAndOrdersTheMovesByDirection) {
  // The plan offsets go with both moves, the lift with the first only.
  const Vector3D offsets(2, 4, 500);
  const Vector3D direction_one = Across(60, 1, -1) + Along(70, -1, 1) + offsets;
  const Vector3D otherwise = Along(60, 1, -1) + Across(70, -1, 1) + offsets;
  for (const auto& [direction, move] :
       {std::pair{1.0, direction_one}, std::pair{-1.0, otherwise}, std::pair{2.0, otherwise}}) {
    SCOPED_TRACE(direction);
    const auto p = pierplace::Longit_Count_Move_2direct(TwoWays(direction));
    EXPECT_EQ(p.GetPositionNumber(), 2);
    EXPECT_POLYLINE_NEAR(p.GetBars()[0], Upright(Point3D(50, 0, 0) + move, 3000));
  }
}

TEST(Longit, PlacesTwoUprightBarsOnEachOfTwoOppositeSides) {
  const auto a = MainBars(-1);
  const auto placements = pierplace::Longit({.bending_roller = a.bending_roller,
                                             .steel_grade = a.steel_grade,
                                             .concrete_cover_props = a.concrete_cover_props,
                                             .Concr_Cover = a.Concr_Cover,
                                             .Concr_Grade = a.Concr_Grade,
                                             .point1 = {0, 0, 0},
                                             .point2 = {400, 0, 0},
                                             .point3 = {0, 300, 0},
                                             .point4 = {400, 300, 0},
                                             .diameter = 20,
                                             .Length = 2980,
                                             .angle = a.angle,
                                             .Concr_Bottom = 40,
                                             .Concr_Top = 40,
                                             .Move_length = 100,
                                             .direction = -1});
  ASSERT_EQ(placements.size(), 2u);
  // The length is rounded up to 3000; the opposite side mirrors the move.
  const auto first = placements[0].GetBars();
  const auto second = placements[1].GetBars();
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_POLYLINE_NEAR(first[1], Upright(Point3D(350, 0, 0) + Along(100, 1, 1), 3000));
  EXPECT_POLYLINE_NEAR(second[0], Upright(Point3D(50, 300, 0) + Along(100, -1, -1), 3000));
}

TEST(PierplaceBadInput, HostErrorsReachTheCallerPromptly) {
  auto count = Cranks(1);
  count.Number = -1;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { pierplace::Crank_Count_Move(count); }),
              HasSubstr("whole number"));
  auto line = Cranks(1);
  line.point2 = line.point1;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { pierplace::Crank_Count_Move(line); }),
              HasSubstr("zero length"));
  auto crank = Cranks(1);
  crank.points = pierplace::crank_shape(kNaN, 500, 30, 600);
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { pierplace::Crank_Count_Move(crank); }),
              HasSubstr("finite"));
  auto many = TwoWays(1);
  many.Number = 1e7;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { pierplace::Longit_Count_Move_2direct(many); }),
              HasSubstr("at most 10000"));
  auto height = MainBars(1);
  height.Height = kNaN;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { pierplace::Longit_Count_Move(height); }),
              HasSubstr("finite"));
}

}  // namespace
