#include "host/reinf.h"

#include <gtest/gtest.h>
#include <cmath>
#include <numbers>

#include "support/expect_geo.h"

namespace {

using namespace HostReinf;
using HostGeo::Point2D;
using HostGeo::Point3D;
using HostGeo::RotationAngles;

ReinforcementShapeProperties Props(double d,
                                   BendingShapeType type = BendingShapeType::LongitudinalBar) {
  return ReinforcementShapeProperties::rebar(d, 4, 4, 4, type);
}

TEST(StraightBar, AxisRunsFromOriginWithoutHiddenOffsets) {
  const auto bar = GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks(
      3000, RotationAngles(), Props(16), ConcreteCoverProperties::all(0), -1, -1);
  ASSERT_TRUE(bar.IsValid());
  EXPECT_POLYLINE_NEAR(bar.GetPolyline(), (std::vector<Point3D>{{0, 0, 0}, {3000, 0, 0}}));
  // Side covers do not move a straight bar; end covers shorten it.
  const auto shortened = GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks(
      3000, RotationAngles(0, 270, 0), Props(16), {50, 30, 99, 99}, -1, -1);
  EXPECT_POLYLINE_NEAR(shortened.GetPolyline(), (std::vector<Point3D>{{0, 0, 50}, {0, 0, 2970}}));
}

TEST(StraightBar, HookArgumentsMeanNoneAnchorageOrLength) {
  const auto bar = GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks(
      1000, RotationAngles(), Props(12), ConcreteCoverProperties::all(0), 0, 200);
  // 0: an anchorage hook of 90 degrees, 10 d long (at least 70 mm).
  EXPECT_EQ(bar.GetStartHook().length, 120);
  EXPECT_EQ(bar.GetStartHook().angle, 90);
  // Each hook's leg is its straight tail plus the bend's tangent length
  // (bend radius 2.5 d = 30 for a 90-degree bend).
  EXPECT_POLYLINE_NEAR(
      bar.GetPolyline(),
      (std::vector<Point3D>{{0, 150, 0}, {0, 0, 0}, {1000, 0, 0}, {1000, 230, 0}}));
  const auto none = GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks(
      1000, RotationAngles(), Props(12), ConcreteCoverProperties::all(0), -1, -1);
  EXPECT_FALSE(none.GetStartHook().present());
  EXPECT_EQ(none.GetPolyline().size(), 2u);
}

TEST(StraightBar, BadLengthsAreErrorsThatSayWhy) {
  using GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks;
  EXPECT_THROW(create_longitudinal_shape_with_hooks(std::nan(""), {}, Props(12), {}, -1, -1),
               std::invalid_argument);
  EXPECT_THROW(create_longitudinal_shape_with_hooks(0, {}, Props(12), {}, -1, -1),
               std::invalid_argument);
  try {
    create_longitudinal_shape_with_hooks(50, {}, Props(12), ConcreteCoverProperties::all(30), -1,
                                         -1);
    FAIL() << "covers longer than the bar must be refused";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("leave nothing"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ReinforcementShapeProperties::rebar(-8, 4, 4, 4, BendingShapeType::Stirrup),
               std::invalid_argument);
}

TEST(ClosedStirrup, OuterFaceKeepsTheCoverAndHooksBendInward) {
  const auto s = GeneralReinfShapeBuilder::create_stirrup_with_user_hooks(
      {.width = 300,
       .height = 500,
       .model_angles = RotationAngles(),
       .shape_props = Props(8, BendingShapeType::Stirrup),
       .concrete_cover_props = ConcreteCoverProperties::all(30),
       .stirrup_type = StirrupType::Column,
       .hook_length_start = 80,
       .hook_angle_start = 135,
       .hook_length_end = 80,
       .hook_angle_end = 135});
  const auto& p = s.GetPolyline();
  ASSERT_EQ(p.size(), 9u);
  // Centreline inset by cover + d/2 = 34 from every side; the bar passes the
  // closing corner twice.
  EXPECT_POLYLINE_NEAR(
      std::vector<Point3D>(p.begin() + 2, p.end() - 2),
      (std::vector<Point3D>{{34, 34, 0}, {266, 34, 0}, {266, 466, 0}, {34, 466, 0}, {34, 34, 0}}));
  // A 135-degree hook bends 45 degrees where the tail meets the side and a
  // quarter turn in the corner: both rounded arcs (radius 20) share the
  // mandrel's centre, so the corners lie 20 (1 + tan 22.5) along the sides.
  const double r = 20, t = r * std::tan(22.5 / 180 * std::numbers::pi);
  EXPECT_POINT_NEAR(p[1], Point3D(34, 34 + r + t, 0));
  EXPECT_POINT_NEAR(p[7], Point3D(34 + r + t, 34, 0));
  // Both tails leave diagonally into the section, straight for 80 after the bend.
  const double leg = (80 + t) / std::sqrt(2.0);
  EXPECT_POINT_NEAR(p.front(), Point3D(34 + leg, 34 + r + t + leg, 0));
  EXPECT_POINT_NEAR(p.back(), Point3D(34 + r + t + leg, 34 + leg, 0));
  // 90-degree hooks run along the sides that meet at the corner.
  const auto s90 = GeneralReinfShapeBuilder::create_stirrup_with_user_hooks(
      {300, 500, RotationAngles(), Props(8, BendingShapeType::Stirrup),
       ConcreteCoverProperties::all(30), StirrupType::Column, 80, 90, 80, 90});
  ASSERT_EQ(s90.GetPolyline().size(), 7u);
  EXPECT_POINT_NEAR(s90.GetPolyline().front(), Point3D(34, 134, 0));
  EXPECT_POINT_NEAR(s90.GetPolyline().back(), Point3D(134, 34, 0));
}

TEST(ClosedStirrup, NoRoomInsideTheCoversIsAnError) {
  EXPECT_THROW(GeneralReinfShapeBuilder::create_stirrup_with_user_hooks(
                   {60, 500, RotationAngles(), Props(8, BendingShapeType::Stirrup),
                    ConcreteCoverProperties::all(30), StirrupType::Column, 80, 90, 80, 90}),
               std::invalid_argument);
}

TEST(OpenStirrup, IsAUOpenAtTheFarSide) {
  const auto s = GeneralReinfShapeBuilder::create_open_stirrup(
      {.width = 300,
       .length = 460,
       .model_angles = RotationAngles(),
       .shape_props = Props(10, BendingShapeType::OpenStirrup),
       .concrete_cover_props = ConcreteCoverProperties::all(30),
       .hook_length_start = -1,
       .hook_length_end = -1,
       .hook_angle_start = 0,
       .hook_angle_end = 0});
  EXPECT_POLYLINE_NEAR(
      s.GetPolyline(),
      (std::vector<Point3D>{{35, 425, 0}, {35, 35, 0}, {265, 35, 0}, {265, 425, 0}}));
}

TEST(FreeformBar, FollowsItsPointsAndTurnsIntoTheModel) {
  const auto crank = GeneralReinfShapeBuilder::create_freeform_shape_with_hooks(
      {{0, 0}, {0, 2800}, {30, 3300}, {30, 3900}}, RotationAngles(90, 0, 0), Props(16), 0, -1, -1);
  EXPECT_POLYLINE_NEAR(
      crank.GetPolyline(),
      (std::vector<Point3D>{{0, 0, 0}, {0, 0, 2800}, {30, 0, 3300}, {30, 0, 3900}}));
  EXPECT_THROW(GeneralReinfShapeBuilder::create_freeform_shape_with_hooks(
                   {{0, 0}}, RotationAngles(), Props(16), 0, -1, -1),
               std::invalid_argument);
}

TEST(ShapeBuilder, CoversShortenAndOffsetAndBadInputGivesAnInvalidShape) {
  ReinforcementShapeBuilder b;
  b.AddPoints({{Point2D(), 10}, {Point2D(1000, 0), 25}}, 20);
  b.SetAnchorageHookStart(90);
  const auto shape = b.CreateShape(Props(10));
  ASSERT_TRUE(shape.IsValid());
  EXPECT_POLYLINE_NEAR(shape.GetPolyline(),
                       (std::vector<Point3D>{{10, 150, 0}, {10, 25, 0}, {980, 25, 0}}));
  ReinforcementShapeBuilder empty;
  EXPECT_FALSE(empty.CreateShape(Props(10)).IsValid());
  ReinforcementShapeBuilder too_short;
  too_short.AddPoints({{Point2D(), 60}, {Point2D(100, 0), 0}}, 60);
  EXPECT_FALSE(too_short.CreateShape(Props(10)).IsValid());
}

TEST(BendingShape, MoveAndRotateChangeItInPlace) {
  auto bar = GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks(100, RotationAngles(),
                                                                            Props(10), {}, -1, -1);
  bar.Move({1, 2, 3});
  EXPECT_POLYLINE_NEAR(bar.GetPolyline(), (std::vector<Point3D>{{1, 2, 3}, {101, 2, 3}}));
  bar.Rotate(RotationAngles(0, 0, 90));
  EXPECT_POLYLINE_NEAR(bar.GetPolyline(), (std::vector<Point3D>{{-2, 1, 3}, {-2, 101, 3}}));
  EXPECT_DOUBLE_EQ(bar.GetBendRadius(), 25);  // (4 d + d) / 2
}

TEST(MeshData, KnownSheetsHaveTwoDimensionsUnknownOnesAreErrors) {
  const auto [w, l] = ReinforcementShapeBuilder::GetMeshData("Q188A").GetDimensions();
  EXPECT_EQ(w, 5000);
  EXPECT_EQ(l, 2150);
  EXPECT_THROW(ReinforcementShapeBuilder::GetMeshData("Q999"), std::invalid_argument);
}

}  // namespace
