#include "host/geo.h"

#include <gtest/gtest.h>
#include <cmath>

#include "support/expect_geo.h"

namespace {

using HostGeo::Point2D;
using HostGeo::Point3D;
using HostGeo::RotationAngles;
using HostGeo::Vector3D;

TEST(RotationAngles, TurnsLocalAxesAsTheHostDefines) {
  // A straight bar along local x stands upright with (0, 270, 0).
  EXPECT_POINT_NEAR(RotationAngles(0, 270, 0).Apply(Point3D(1, 0, 0)), Point3D(0, 0, 1));
  // A polyline in the local xy plane is raised into the xz plane with (90, 0, 0).
  EXPECT_POINT_NEAR(RotationAngles(90, 0, 0).Apply(Point3D(0, 1, 0)), Point3D(0, 0, 1));
  // (0, 0, t) turns the plan by t.
  EXPECT_POINT_NEAR(RotationAngles(0, 0, 30).Apply(Point3D(1, 0, 5)),
                    Point3D(std::cos(std::numbers::pi / 6), std::sin(std::numbers::pi / 6), 5));
  // X first, then Y, then Z: (90, 0, 90) takes +y to +z (X) and keeps it (Z).
  EXPECT_POINT_NEAR(RotationAngles(90, 0, 90).Apply(Point3D(0, 1, 0)), Point3D(0, 0, 1));
  EXPECT_POINT_NEAR(RotationAngles(90, 0, 90).Apply(Point3D(1, 0, 0)), Point3D(0, 1, 0));
}

TEST(RotationAngles, QuarterTurnsAreExact) {
  const Point3D p = RotationAngles(0, 270, 0).Apply(Point3D(3000, 0, 0));
  EXPECT_EQ(p, Point3D(0, 0, 3000));
  EXPECT_EQ(RotationAngles(0, 0, -90).Apply(Point3D(2, 0, 0)), Point3D(0, -2, 0));
}

TEST(RotationAngles, RejectsNonFiniteAngles) {
  EXPECT_THROW(RotationAngles(0, std::nan(""), 0), std::invalid_argument);
}

TEST(CalcAngle, GivesThePlanDirectionInTheHalfOpenRange) {
  EXPECT_DOUBLE_EQ(HostGeo::CalcAngle(Point2D(), Point2D(1, 0)).GetDeg(), 0);
  EXPECT_DOUBLE_EQ(HostGeo::CalcAngle(Point2D(), Point2D(0, 1)).GetDeg(), 90);
  EXPECT_DOUBLE_EQ(HostGeo::CalcAngle(Point2D(), Point2D(0, -1)).GetDeg(), -90);
  EXPECT_DOUBLE_EQ(HostGeo::CalcAngle(Point2D(), Point2D(-1, 0)).GetDeg(), 180);
  EXPECT_DOUBLE_EQ(HostGeo::CalcAngle(Point2D(), Point2D(-1, -0.0)).GetDeg(), 180);
  EXPECT_NEAR(HostGeo::CalcAngle(Point2D(1, 1), Point2D(4, 5)).GetDeg(), 53.1301023542, 1e-9);
}

TEST(TransformCoord, PointGlobalWalksAlongTheLine) {
  const HostGeo::Line3D line({0, 0, 0}, {300, 400, 0});
  EXPECT_DOUBLE_EQ(HostGeo::CalcLength(line), 500);
  EXPECT_POINT_NEAR(HostGeo::TransformCoord::PointGlobal(line, 50), Point3D(30, 40, 0));
  EXPECT_THROW(HostGeo::TransformCoord::PointGlobal(HostGeo::Line3D({1, 1, 1}, {1, 1, 1}), 5),
               std::invalid_argument);
}

TEST(Matrix3D, IdentityAndTranslation) {
  EXPECT_TRUE(HostGeo::Matrix3D().IsIdentity());
  const auto m = HostGeo::Matrix3D::Translation(Vector3D(1, 2, 3));
  EXPECT_FALSE(m.IsIdentity());
  EXPECT_TRUE(m.IsTranslation());
  EXPECT_EQ(m.Transform(Point3D(1, 1, 1)), Point3D(2, 3, 4));
}

}  // namespace
