#include "placement/placekit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/expect_geo.h"

namespace {

using HostGeo::Point3D;
using HostGeo::Vector3D;
using HostReinf::ConcreteCoverProperties;
using HostReinf::MeshPlacement;
using testing::HasSubstr;

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

// Stirrups of d = 10 around a 400 x 300 section, cover 30, up a 3000 mm column.
placekit::CloseStirrupArgs ColumnStirrups() {
  return {.bending_roller = 4,
          .steel_grade = 4,
          .concrete_cover_props = ConcreteCoverProperties::all(30),
          .Concr_Cover = 30,
          .Concr_Grade = 4,
          .Spacing = 150,
          .point1 = {0, 0, 0},
          .point2 = {0, 0, 3000},
          .diameter = 10,
          .Width = 400,
          .Height = 300,
          .rotation = HostGeo::RotationAngles(0, 0, 0),
          .Concr_Bottom = 50,
          .Concr_Top = 50,
          .Hook_Length = 100,
          .Hook_Angle = 135};
}

TEST(CloseStirrup, KeepsTheCoverFromEverySideAndSpacesStirrupsEvenly) {
  const auto placements = placekit::Close_Stirrup(ColumnStirrups());
  ASSERT_EQ(placements.size(), 1u);
  const auto& p = placements[0];
  EXPECT_EQ(p.GetPositionNumber(), 2);
  EXPECT_EQ(p.GetRule(), HostReinf::BarPlacement::Rule::Spacing);
  const auto bars = p.GetBars();
  // Axes from 50 + d/2 to 3000 - 50 - d/2: 2890 mm in 20 gaps of 144.5.
  ASSERT_EQ(bars.size(), 21u);
  for (std::size_t k = 0; k < bars.size(); ++k) {
    EXPECT_NEAR(bars[k][1].Z(), 55 + 144.5 * static_cast<double>(k), 1e-9);
  }
  // The outer face 30 from each side: the centreline's corners at 35.
  const auto& first = bars[0];
  ASSERT_EQ(first.size(), 9u);
  EXPECT_POLYLINE_NEAR(
      std::vector<Point3D>(first.begin() + 2, first.end() - 2),
      (std::vector<Point3D>{
          {35, 35, 55}, {365, 35, 55}, {365, 265, 55}, {35, 265, 55}, {35, 35, 55}}));
  for (const auto& point : first) {
    EXPECT_GE(point.X(), 35 - 1e-9);
    EXPECT_LE(point.X(), 365 + 1e-9);
    EXPECT_GE(point.Y(), 35 - 1e-9);
    EXPECT_LE(point.Y(), 265 + 1e-9);
  }
  // Both ends alike: a 100 mm leg after a bend of 135°.
  const auto& shape = p.GetBendingShape();
  EXPECT_EQ(shape.GetStartHook(), shape.GetEndHook());
  EXPECT_EQ(shape.GetStartHook().angle, 135);
  // The tails' legs: 100 straight plus the 45-degree rest of the bend
  // (radius 25) where they meet the sides.
  const double leg = 100 + 25 * std::tan(22.5 / 180 * std::numbers::pi);
  EXPECT_NEAR(first[0].GetDistance(first[1]), leg, 1e-9);
  EXPECT_NEAR(first[7].GetDistance(first[8]), leg, 1e-9);
}

TEST(CloseStirrup, TurnsTheSectionByTheRotation) {
  auto args = ColumnStirrups();
  args.rotation = HostGeo::RotationAngles(0, 0, 90);
  const auto bar = placekit::Close_Stirrup(args)[0].GetBars()[0];
  EXPECT_POINT_NEAR(bar[2], Point3D(-35, 35, 55));
  EXPECT_POINT_NEAR(bar[3], Point3D(-35, 365, 55));
}

// Straight bars 1000 long with 100 mm hooks at 90°, laid up a 1000 mm line
// every 500 mm at most, moved 50 mm at a plan angle of 0.
placekit::LongHookMovePerpArgs HookedBars() {
  return {.bending_roller = 4,
          .steel_grade = 4,
          .concrete_cover_props = ConcreteCoverProperties::all(0),
          .Concr_Cover = 30,
          .Concr_Grade = 4,
          .Spacing = 500,
          .point1 = {0, 0, 0},
          .point2 = {0, 0, 1000},
          .diameter = 10,
          .Length = 1000,
          .rotation = HostGeo::RotationAngles(0, 0, 0),
          .angle = 0,
          .Concr_Bottom = 0,
          .Concr_Top = 0,
          .Move_Length = 50,
          .Hook_Length = 100,
          .Hook_Angle = 90};
}

// 100 mm tails after 90-degree bends of radius 25: legs of 125.
std::vector<Point3D> HookedBar(double z, const Vector3D& shift) {
  return {Point3D(0, 125, z) + shift, Point3D(0, 0, z) + shift, Point3D(1000, 0, z) + shift,
          Point3D(1000, 125, z) + shift};
}

TEST(LongHookMove, PerpMovesAcrossAndParaAlongThePlanAngle) {
  const auto perp = placekit::Long_hook_Move_perp(HookedBars());
  const auto para = placekit::Long_hook_Move_para(HookedBars());
  ASSERT_EQ(perp.size(), 1u);
  ASSERT_EQ(para.size(), 1u);
  EXPECT_EQ(perp[0].GetBendingShape().GetShapeType(), HostReinf::BendingShapeType::LongitudinalBar);
  // Axes at 5, 500 and 995; the same hook at both ends.
  const auto across = perp[0].GetBars();
  ASSERT_EQ(across.size(), 3u);
  EXPECT_POLYLINE_NEAR(across[0], HookedBar(5, {0, 50, 0}));
  EXPECT_POLYLINE_NEAR(across[2], HookedBar(995, {0, 50, 0}));
  EXPECT_POLYLINE_NEAR(para[0].GetBars()[1], HookedBar(500, {50, 0, 0}));
}

TEST(MeshPlacement, PlacesOneSheetFromTheLeftCoverAndPrintsItsDimensions) {
  const auto sheet = HostReinf::BendingShape::Mesh("Q188A");  // 5000 x 2150
  std::vector<MeshPlacement> list{MeshPlacement(7, {1, 0, 0}, sheet)};
  const Point3D from(100, 200, 0);
  const Vector3D u(0.6, 0.8, 0);
  // Lines longer and shorter than the sheet alike get exactly one sheet.
  for (const double line_length : {12000.0, 1000.0}) {
    SCOPED_TRACE(line_length);
    const std::size_t before = list.size();
    testing::internal::CaptureStdout();
    auto& result = placekit::create_mesh_placement_by_points({.shape = sheet,
                                                              .from_point = from,
                                                              .to_point = from + u * line_length,
                                                              .position = 3,
                                                              .concrete_cover_left = 50,
                                                              .concrete_cover_right = 75,
                                                              .model_ele_list = list});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "5000 2150\n");
    EXPECT_EQ(&result, &list);
    ASSERT_EQ(list.size(), before + 1);
    const MeshPlacement& mesh = list.back();
    EXPECT_EQ(mesh.GetPositionNumber(), 3);
    EXPECT_VECTOR_NEAR(mesh.GetPlacementVector(), u * 5000);
    EXPECT_POINT_NEAR(mesh.GetBendingShape().GetPolyline()[0], from + u * 50);
  }
  // A line without length is the host's error, and nothing is appended.
  const std::size_t before = list.size();
  testing::internal::CaptureStdout();
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] {
                placekit::create_mesh_placement_by_points({.shape = sheet,
                                                           .from_point = from,
                                                           .to_point = from,
                                                           .position = 3,
                                                           .concrete_cover_left = 50,
                                                           .concrete_cover_right = 75,
                                                           .model_ele_list = list});
              }),
              HasSubstr("zero length"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(list.size(), before);
}

TEST(PlacekitBadInput, HostErrorsReachTheCallerPromptly) {
  for (const double spacing : {0.0, -150.0, kNaN}) {
    auto args = ColumnStirrups();
    args.Spacing = spacing;
    EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { placekit::Close_Stirrup(args); }),
                HasSubstr("spacing"));
  }
  auto tiny = ColumnStirrups();
  tiny.Spacing = 1e-4;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { placekit::Close_Stirrup(tiny); }),
              HasSubstr("at most 10000"));
  auto line = HookedBars();
  line.point2 = line.point1;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { placekit::Long_hook_Move_para(line); }),
              HasSubstr("zero length"));
  auto length = HookedBars();
  length.Length = kNaN;
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { placekit::Long_hook_Move_perp(length); }),
              HasSubstr("finite"));
}

}  // namespace
