#include "shapes/shapekit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/geomkit.h"
#include "support/expect_geo.h"

namespace {

using HostGeo::Point3D;
using HostGeo::Vector3D;
using HostReinf::BarPlacement;
using HostReinf::ConcreteCoverProperties;
using testing::HasSubstr;

const double kCos30 = std::cos(std::numbers::pi / 6);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Runs `call`, expects it to throw E, and returns the message.
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

// The moves of geomkit for a length of 100 at 30 degrees, signs (1, -1):
// along the angle (parallel) and across it (perpendicular).
const Vector3D kAlong(100 * kCos30, -50, 0);
const Vector3D kAcross(50, -100 * kCos30, 0);

// Main bars of a column side: a 400 mm line in plan direction (0.6, 0.8),
// upright bars of d = 20 and 3000 mm, moved 100 mm at a plan angle of 30°.
shapekit::LongitCountMoveArgs MainBars() {
  return {.bending_roller = 4,
          .steel_grade = 4,
          .concrete_cover_props = ConcreteCoverProperties::all(0),
          .Concr_Cover = 0,
          .Concr_Grade = 4,
          .point1 = {100, 200, 50},
          .point2 = {340, 520, 50},
          .diameter = 20,
          .Height = 3000,
          .X_Angel = 0,
          .Y_Angle = 270,
          .Z_Angle = 0,
          .Number = 2,
          .Concr_Bottom = 40,
          .Concr_Top = 30,
          .Move_length = 100,
          .angle = HostGeo::Angle::FromDeg(30),
          .dir_x = 1,
          .dir_y = -1,
          .delta_x = 0,
          .delta_y = 0,
          .delta_z = 0,
          .direction = 1};
}

// An upright bar of `height` whose foot stands at `foot`.
std::vector<Point3D> Upright(const Point3D& foot, double height) {
  return {foot, foot + Vector3D(0, 0, height)};
}

TEST(LongitCountMove, StandsUprightOnTheLineAndAlwaysMovesAlongThePlanAngle) {
  const Vector3D u(0.6, 0.8, 0);
  const Point3D p1(100, 200, 50);
  // Covers to the bar's surface: axes at 40 + d/2 and 400 - 30 - d/2.
  const std::vector<std::vector<Point3D>> expected{Upright(p1 + u * 50 + kAlong, 3000),
                                                   Upright(p1 + u * 360 + kAlong, 3000)};
  for (const double direction : {1.0, -1.0, 0.0}) {
    SCOPED_TRACE(direction);
    auto args = MainBars();
    args.direction = direction;
    // The bar's own cover is always zero, whatever the caller passes.
    args.concrete_cover_props = ConcreteCoverProperties::all(50);
    args.Concr_Cover = 50;
    const BarPlacement p = shapekit::Longit_Count_Move(args);
    EXPECT_EQ(p.GetPositionNumber(), 2);
    const auto bars = p.GetBars();
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_POLYLINE_NEAR(bars[0], expected[0]);
    EXPECT_POLYLINE_NEAR(bars[1], expected[1]);
  }
  // A move of length 0 with only a lift raises the bar.
  auto lift = MainBars();
  lift.Move_length = 0;
  lift.delta_z = 300;
  EXPECT_POLYLINE_NEAR(shapekit::Longit_Count_Move(lift).GetBars()[0],
                       Upright(p1 + u * 50 + Vector3D(0, 0, 300), 3000));
}

shapekit::LongitSpacingMoveArgs SpacedBars() {
  const auto a = MainBars();
  return {.bending_roller = a.bending_roller,
          .steel_grade = a.steel_grade,
          .concrete_cover_props = a.concrete_cover_props,
          .Concr_Cover = a.Concr_Cover,
          .Concr_Grade = a.Concr_Grade,
          .point_list = geomkit::get_pnts_fr_3_dimens(400, 300, 3000, {0, 0, 0}),
          .diameter = a.diameter,
          .Height = a.Height,
          .X_Angel = a.X_Angel,
          .Y_Angle = a.Y_Angle,
          .Z_Angle = a.Z_Angle,
          .index1 = 0,
          .index2 = 1,
          .Spacing = 100,
          .Concr_Bottom = 40,
          .Concr_Top = 40,
          .Move_length = a.Move_length,
          .angle = a.angle,
          .dir_x = a.dir_x,
          .dir_y = a.dir_y,
          .delta_x = 0,
          .delta_y = 0,
          .delta_z = 0,
          .direction = -1};
}

TEST(LongitSpacingMove, MovesAcrossForAnyNonZeroDirectionAndAlongForZero) {
  // Corners 0 -> 1: 400 mm along x; axes from 50 to 350, gaps of at most 100.
  for (const auto& [direction, move] :
       {std::pair{-1.0, kAcross}, std::pair{1.0, kAcross}, std::pair{0.0, kAlong}}) {
    SCOPED_TRACE(direction);
    auto args = SpacedBars();
    args.direction = direction;
    const auto bars = shapekit::Longit_Spacing_Move(args).GetBars();
    ASSERT_EQ(bars.size(), 4u);
    EXPECT_POLYLINE_NEAR(bars[0], Upright(Point3D(50, 0, 0) + move, 3000));
    EXPECT_POLYLINE_NEAR(bars[3], Upright(Point3D(350, 0, 0) + move, 3000));
  }
  auto outside = SpacedBars();
  outside.index2 = 8;
  const std::string msg =
      ErrorOf<std::out_of_range>([&] { shapekit::Longit_Spacing_Move(outside); });
  EXPECT_THAT(msg, HasSubstr("index2 = 8"));
  EXPECT_THAT(msg, HasSubstr("8 points"));
}

TEST(CreateLongitudinalShapeWithHooks, ZeroIsAnAnchorageHookPositiveALengthNegativeNone) {
  const auto props = HostReinf::ReinforcementShapeProperties::rebar(
      10, 4, 4, 4, HostReinf::BendingShapeType::LongitudinalBar);
  const auto none = ConcreteCoverProperties::all(0);
  // Defaults: 90° anchorage hooks of the host's length (10 d, at least 70),
  // both bent to the same side.
  const auto anchored = shapekit::create_longitudinal_shape_with_hooks(1000, {}, props, none);
  // Each leg is the tail plus the bend's tangent length (radius 2.5 d = 25).
  EXPECT_POLYLINE_NEAR(
      anchored.GetPolyline(),
      (std::vector<Point3D>{{0, 125, 0}, {0, 0, 0}, {1000, 0, 0}, {1000, 125, 0}}));
  EXPECT_EQ(anchored.GetStartHook().type, HostReinf::HookType::eAnchorage);
  // No start hook, a 200 mm hook at the end, stood upright.
  const auto upright = shapekit::create_longitudinal_shape_with_hooks(
      1000, HostGeo::RotationAngles(0, 270, 0), props, none, -1, 200);
  EXPECT_POLYLINE_NEAR(upright.GetPolyline(),
                       (std::vector<Point3D>{{0, 0, 0}, {0, 0, 1000}, {0, 225, 1000}}));
  // Left and right covers shorten the bar; the bottom cover sets it off sideways.
  const auto covered = shapekit::create_longitudinal_shape_with_hooks(
      1000, {}, props, {.left = 30, .right = 40, .top = 99, .bottom = 25}, -1, -1);
  EXPECT_POLYLINE_NEAR(covered.GetPolyline(), (std::vector<Point3D>{{30, 25, 0}, {960, 25, 0}}));
  // A bar the host cannot build comes back invalid rather than thrown.
  EXPECT_FALSE(shapekit::create_longitudinal_shape_with_hooks(0, {}, props, none).IsValid());
}

// Stirrups of d = 10 in a 300 x 400 section, laid along a vertical line.
shapekit::OpenStirrupMoveArgs Stirrups() {
  return {.bending_roller = 4,
          .steel_grade = 4,
          .concrete_cover_props = ConcreteCoverProperties::all(0),
          .Concr_Cover = 30,
          .Concr_Grade = 4,
          .point1 = {0, 0, 0},
          .point2 = {0, 0, 1000},
          .diameter = 10,
          .Width = 300,
          .Length = 400,
          .X_Angel = 0,
          .Y_Angle = 0,
          .Z_Angle = 0,
          .Spacing = 200,
          .Concr_Bottom = 0,
          .Concr_Top = 0,
          .Move_length = 100,
          .angle = HostGeo::Angle::FromDeg(30),
          .dir_x = 1,
          .dir_y = -1,
          .delta_x = 0,
          .delta_y = 0,
          .delta_z = 0,
          .direction = 1};
}

// An open stirrup's U in the local frame, lifted to `z`: its legs reach
// (400 + 2 x 30) - d/2 = 455.
std::vector<Point3D> OpenU(double z, const Vector3D& shift = {}) {
  return {Point3D(5, 455, z) + shift, Point3D(5, 5, z) + shift, Point3D(295, 5, z) + shift,
          Point3D(295, 455, z) + shift};
}

TEST(OpenStirrup, HookLengthsIncludeOneDiameter) {
  const auto a = Stirrups();
  const auto shape = shapekit::OpenStirrup_withHook({.bending_roller = a.bending_roller,
                                                     .steel_grade = a.steel_grade,
                                                     .concrete_cover_props = a.concrete_cover_props,
                                                     .Concr_Cover = a.Concr_Cover,
                                                     .Concr_Grade = a.Concr_Grade,
                                                     .point1 = a.point1,
                                                     .point2 = a.point2,
                                                     .diameter = a.diameter,
                                                     .Width = a.Width,
                                                     .Length = a.Length,
                                                     .X_Angel = a.X_Angel,
                                                     .Y_Angle = a.Y_Angle,
                                                     .Z_Angle = a.Z_Angle,
                                                     .Spacing = a.Spacing,
                                                     .Concr_Bottom = a.Concr_Bottom,
                                                     .Concr_Top = a.Concr_Top,
                                                     .hook_length1 = 100,
                                                     .hook_length2 = 140,
                                                     .hook_angle1 = 90,
                                                     .hook_angle2 = 135})
                         .GetBendingShape();
  const auto& line = shape.GetPolyline();
  ASSERT_EQ(line.size(), 6u);
  // The tails are 90 and 130 straight after their bends (radius 25).
  EXPECT_EQ(shape.GetStartHook().length, 90);
  EXPECT_EQ(shape.GetEndHook().length, 130);
  EXPECT_NEAR(line[0].GetDistance(line[1]), 90 + 25 * std::tan(std::numbers::pi / 4), 1e-9);
  EXPECT_NEAR(line[4].GetDistance(line[5]), 130 + 25 * std::tan(67.5 / 180 * std::numbers::pi),
              1e-9);
  EXPECT_EQ(shape.GetEndHook().angle, 135);
}

TEST(OpenStirrup, MoveAndMoveHorReadTheDirectionFlagOppositeWays) {
  for (const auto& [direction, move, move_hor] :
       {std::tuple{1.0, kAcross, kAlong}, std::tuple{-1.0, kAcross, kAlong},
        std::tuple{0.0, kAlong, kAcross}}) {
    SCOPED_TRACE(direction);
    auto args = Stirrups();
    args.direction = direction;
    EXPECT_POLYLINE_NEAR(shapekit::OpenStirrup_Move(args).GetBars()[0], OpenU(5, move));
    EXPECT_POLYLINE_NEAR(shapekit::OpenStirrup_Move_Hor(args).GetBars()[0], OpenU(5, move_hor));
  }
}

shapekit::CloseStirrupMoveArgs ClosedStirrups(double direction) {
  const auto a = Stirrups();
  return {.bending_roller = a.bending_roller,
          .steel_grade = a.steel_grade,
          .concrete_cover_props = ConcreteCoverProperties::all(25),
          .Hook_Length_Start = 80,
          .Hook_Angle_Start = 135,
          .Hook_Length_End = 60,
          .Hook_Angle_End = 90,
          .Concr_Grade = a.Concr_Grade,
          .point1 = a.point1,
          .point2 = a.point2,
          .diameter = a.diameter,
          .Width = a.Width,
          .Length = a.Length,
          .X_Angel = a.X_Angel,
          .Y_Angle = a.Y_Angle,
          .Z_Angle = a.Z_Angle,
          .Spacing = a.Spacing,
          .Concr_Bottom = a.Concr_Bottom,
          .Concr_Top = a.Concr_Top,
          .Move_length = a.Move_length,
          .angle = a.angle,
          .dir_x = a.dir_x,
          .dir_y = a.dir_y,
          .delta_x = 0,
          .delta_y = 0,
          .delta_z = 0,
          .direction = direction};
}

TEST(CloseStirrup, ClosesTheSectionInsideTheCoversAndMovesByTheDirectionFlag) {
  const BarPlacement along = shapekit::CloseStirrup_Move(ClosedStirrups(0));
  EXPECT_EQ(along.GetBendingShape().GetShapeType(), HostReinf::BendingShapeType::Stirrup);
  // No cover added to Length; the centreline 25 + d/2 inside each side; the
  // 135° start hook and the 90° end hook bend into the section.
  // The 135° bend is a 45° corner on the last side's line and a quarter
  // turn in the corner (radius 25); the 90° end hook runs along the first side.
  const double t = 25 * std::tan(22.5 / 180 * std::numbers::pi);
  const double h = (80 + t) * std::sqrt(0.5);
  std::vector<Point3D> expected{
      {30 + h, 55 + t + h, 5}, {30, 55 + t, 5}, {30, 30, 5}, {270, 30, 5},
      {270, 370, 5},           {30, 370, 5},    {30, 30, 5}, {115, 30, 5}};
  for (auto& point : expected) point = point + kAlong;
  EXPECT_POLYLINE_NEAR(along.GetBars()[0], expected);
  const auto across = shapekit::CloseStirrup_Move(ClosedStirrups(-1)).GetBars()[0];
  EXPECT_POINT_NEAR(across[2], Point3D(30, 30, 5) + kAcross);
}

TEST(ShapekitBadInput, HostErrorsReachTheCallerPromptly) {
  auto count = MainBars();
  count.Number = -1;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { shapekit::Longit_Count_Move(count); }),
              HasSubstr("whole number"));
  count.Number = 20000;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { shapekit::Longit_Count_Move(count); }),
              HasSubstr("at most 10000"));
  auto line = MainBars();
  line.point2 = line.point1;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { shapekit::Longit_Count_Move(line); }),
              HasSubstr("zero length"));
  auto height = MainBars();
  height.Height = kNaN;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { shapekit::Longit_Count_Move(height); }),
              HasSubstr("finite"));
  for (const double spacing : {0.0, -100.0, kNaN}) {
    auto stirrups = Stirrups();
    stirrups.Spacing = spacing;
    EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { shapekit::OpenStirrup_Move(stirrups); }),
                HasSubstr("spacing"));
  }
  auto tiny = Stirrups();
  tiny.Spacing = 1e-6;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { shapekit::OpenStirrup_Move(tiny); }),
              HasSubstr("at most 10000"));
}

}  // namespace
