// Corner lists of boxes and small point edits. Every point returned is a new
// value built from the coordinates of the given ones.
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "common/geomkit.h"

namespace geomkit {

namespace {

double X(const HostGeo::Point3D& p) { return p.Values()[0]; }
double Y(const HostGeo::Point3D& p) { return p.Values()[1]; }
double Z(const HostGeo::Point3D& p) { return p.Values()[2]; }

void RequireCorners(const char* function, const PointList& point_list, std::size_t needed) {
  if (point_list.size() < needed) {
    throw std::invalid_argument(std::string(function) + " needs a corner list of " +
                                std::to_string(needed) + " points; it was given " +
                                std::to_string(point_list.size()));
  }
}

}  // namespace

PointList get_pnts_fr_3_dimens(double length, double width, double height,
                               const HostGeo::Point3D& input_point) {
  const double x = X(input_point);
  const double y = Y(input_point);
  const double z = Z(input_point);
  return {
      {x, y, z},
      {x + length, y, z},
      {x + length, y + width, z},
      {x, y + width, z},
      {x, y, z + height},
      {x + length, y, z + height},
      {x + length, y + width, z + height},
      {x, y + width, z + height},
  };
}

HostGeo::Point3D Point_from_point(const HostGeo::Point3D& point, double z) {
  return {X(point), Y(point), z};
}

// A bottom face that already starts at its lower y side is left as it is.
// Otherwise the face is restarted from the opposite side: from corner 2 when
// it runs towards smaller x, reversed from corner 3 when it runs towards larger
// x. The top face is rebuilt above the new bottom face at the level of old
// corner 7; old corners 4 to 6 are not read.
PointList Rearrange(const PointList& point_list) {
  RequireCorners("Rearrange", point_list, 8);
  const PointList& p = point_list;
  if (!(Y(p[0]) > Y(p[3]))) return point_list;

  PointList bottom;
  if (X(p[0]) > X(p[1])) {
    bottom = {p[2], p[3], p[0], p[1]};
  } else {
    bottom = {p[3], p[2], p[1], p[0]};
  }
  const double z7 = Z(p[7]);
  PointList out = bottom;
  for (const auto& corner : bottom) out.push_back(Point_from_point(corner, z7));
  return out;
}

PointList Rotate(const PointList& point_list, std::size_t index) {
  if (index > point_list.size() || point_list.size() - index < 8) {
    throw std::out_of_range("Rotate needs eight points from position " + std::to_string(index) +
                            "; the list holds " + std::to_string(point_list.size()) + " points");
  }
  const auto p = [&](std::size_t k) { return point_list[index + k]; };
  return {p(1), p(2), p(3), p(0), p(5), p(6), p(7), p(4)};
}

PointList Rearrange_bot_top(const PointList& point_list) {
  RequireCorners("Rearrange_bot_top", point_list, 8);
  const PointList& p = point_list;
  return {p[4], p[5], p[6], p[7], p[0], p[1], p[2], p[3]};
}

HostGeo::Point3D Change_x(const HostGeo::Point3D& point, double x) {
  return {x, Y(point), Z(point)};
}

HostGeo::Point3D Change_y(const HostGeo::Point3D& point, double y) {
  return {X(point), y, Z(point)};
}

HostGeo::Point3D Change_z(const HostGeo::Point3D& point, double z) {
  return {X(point), Y(point), z};
}

HostGeo::Point3D Offset_x(const HostGeo::Point3D& point, double x, const HostGeo::Angle& angle) {
  const double a = angle.Get();
  return {X(point) + x * std::cos(a), Y(point) + x * std::sin(a), Z(point)};
}

// The direction goes through degrees on purpose: the angle is read with
// GetDeg, turned by 90 and converted back.
HostGeo::Point3D Offset_y(const HostGeo::Point3D& point, double y, const HostGeo::Angle& angle) {
  const HostGeo::Angle a((angle.GetDeg() + 90.0) / 180.0 * std::numbers::pi);
  return {X(point) + y * std::cos(a.Get()), Y(point) + y * std::sin(a.Get()), Z(point)};
}

HostGeo::Point3D Offset_z(const HostGeo::Point3D& point, double delta_z) {
  return {X(point), Y(point), Z(point) + delta_z};
}

HostGeo::Point3D MidPoint(const HostGeo::Point3D& point1, const HostGeo::Point3D& point2) {
  return {(X(point1) + X(point2)) / 2.0, (Y(point1) + Y(point2)) / 2.0,
          (Z(point1) + Z(point2)) / 2.0};
}

}  // namespace geomkit
