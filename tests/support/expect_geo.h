// Domain assertions for geometry in tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/geo.h"

namespace testsupport {

inline constexpr double kTol = 1e-6;

inline ::testing::AssertionResult PointNear(const HostGeo::Point3D& actual,
                                            const HostGeo::Point3D& expected, double tol = kTol) {
  if (actual.GetDistance(expected) <= tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "point " << HostGeo::ToString(actual) << " is " << actual.GetDistance(expected)
         << " mm from expected " << HostGeo::ToString(expected);
}

inline ::testing::AssertionResult VectorNear(const HostGeo::Vector3D& actual,
                                             const HostGeo::Vector3D& expected, double tol = kTol) {
  return PointNear(HostGeo::Point3D() + actual, HostGeo::Point3D() + expected, tol);
}

inline ::testing::AssertionResult PolylineNear(const std::vector<HostGeo::Point3D>& actual,
                                               const std::vector<HostGeo::Point3D>& expected,
                                               double tol = kTol) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "polyline has " << actual.size() << " points, expected " << expected.size();
  }
  for (std::size_t i = 0; i < actual.size(); ++i) {
    auto r = PointNear(actual[i], expected[i], tol);
    if (!r) return ::testing::AssertionFailure() << "point " << i << ": " << r.message();
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testsupport

#define EXPECT_POINT_NEAR(a, b) EXPECT_TRUE(::testsupport::PointNear((a), (b)))
#define EXPECT_VECTOR_NEAR(a, b) EXPECT_TRUE(::testsupport::VectorNear((a), (b)))
#define EXPECT_POLYLINE_NEAR(a, b) EXPECT_TRUE(::testsupport::PolylineNear((a), (b)))
