#include "analysis/siteprobe.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>

namespace siteprobe {

namespace HEA = HostElementAdapter;
using HostGeo::Point3D;

PointList Output_Points(const HEA::BaseElementAdapter& ele) {
  PointList geo_list;
  try {
    geo_list = ele.GetGeometry().GetVertices();
  } catch (const std::exception&) {
    geo_list = ele.GetModelGeometry().GetVertices();
  }
  if (geo_list.size() == 8) return geo_list;
  const double minz = Get_min_z(geo_list);
  const double maxz = Get_max_z(geo_list);
  const auto wall = HEA::BaseElementAdapterParentElementService::GetParentElement(ele);
  if (wall.IsNull()) {
    throw std::invalid_argument(
        "element '" + ele.GetId() + "' has " + std::to_string(geo_list.size()) +
        " vertices and belongs to no wall whose axis line could give its corners");
  }
  const auto wall_childs =
      HEA::BaseElementAdapterChildElementsService::GetChildModelElementsFromTree(wall);
  std::optional<Point3D> start_axis, end_axis;
  // Every axis line is read: the last one decides.
  for (const auto& child : wall_childs) {
    if (child == HEA::WallAxisLine_TypeUUID) {
      start_axis = child.GetGeometry().GetStartPoint();
      end_axis = child.GetGeometry().GetEndPoint();
    }
  }
  if (!start_axis) {
    throw std::invalid_argument("wall '" + wall.GetId() +
                                "' has no axis line, so the corners of element '" + ele.GetId() +
                                "' cannot be placed");
  }
  const Point3D Point1 = Point_from_point(*start_axis, minz);
  const Point3D Point2 = Point_from_point(*end_axis, minz);
  const Point3D Point3 = Get_closet_point(geo_list, Point2);
  const Point3D Point4 = Get_closet_point(geo_list, Point1);
  const Point3D Point5 = Point_from_point(Point1, maxz);
  const Point3D Point6 = Point_from_point(Point2, maxz);
  const Point3D Point7 = Point_from_point(Point3, maxz);
  const Point3D Point8 = Point_from_point(Point4, maxz);
  return {Point1, Point2, Point3, Point4, Point5, Point6, Point7, Point8};
}

double Get_min_z(const PointList& point_list) {
  if (point_list.empty())
    throw std::invalid_argument("the lowest level of an empty point list is undefined");
  double z = point_list.front().Values()[2];
  for (const auto& p : point_list) z = std::min(z, p.Values()[2]);
  return z;
}

double Get_max_z(const PointList& point_list) {
  if (point_list.empty())
    throw std::invalid_argument("the highest level of an empty point list is undefined");
  double z = point_list.front().Values()[2];
  for (const auto& p : point_list) z = std::max(z, p.Values()[2]);
  return z;
}

Point3D Point_from_point(const Point3D& point, double z) {
  const auto v = point.Values();
  return {v[0], v[1], z};
}

Point3D Get_closet_point(const PointList& point_list, const Point3D& point3d) {
  double min_dis = std::numeric_limits<double>::infinity();
  for (const auto& p : point_list) {
    if (!(p == point3d)) min_dis = std::min(min_dis, point3d.GetDistance(p));
  }
  if (min_dis == std::numeric_limits<double>::infinity()) {
    throw std::invalid_argument("no point of the list differs from " + HostGeo::ToString(point3d) +
                                ", so none is the nearest");
  }
  for (const auto& p : point_list) {
    if (point3d.GetDistance(p) == min_dis) return p;
  }
  throw std::logic_error("the nearest point vanished from the list");
}

PointList& Get_point_list_maxz(PointList& point_list_minz, double maxz) {
  const std::size_t n = point_list_minz.size();
  point_list_minz.reserve(2 * n);
  for (std::size_t i = 0; i < n; ++i)
    point_list_minz.push_back(Point_from_point(point_list_minz[i], maxz));
  return point_list_minz;
}

}  // namespace siteprobe
