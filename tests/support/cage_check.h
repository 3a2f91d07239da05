// Judging a cage by its bars: the polylines its placements list, measured
// against the faces of the columns as the model gives them.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"

namespace testsupport {

using HostGeo::Point2D;
using HostGeo::Point3D;

// A rectangular column as a model file would list it.
struct ColumnSpec {
  double x = 0, y = 0;  // corner 0 in plan
  double theta = 0;     // direction of the first listed edge, degrees
  double first = 300;   // length of the first listed edge
  double second = 500;  // length of the next edge
  double bottom = 0, top = 3000;
  int start_corner = 0;    // which corner the model lists first
  bool clockwise = false;  // listing sense in the model
};

// The plan corners counter-clockwise, from the column's corner 0.
inline std::vector<Point2D> CcwCorners(const ColumnSpec& s) {
  const double t = s.theta / 180.0 * std::numbers::pi;
  const double ux = std::cos(t), uy = std::sin(t), vx = -uy, vy = ux;
  return {{s.x, s.y},
          {s.x + s.first * ux, s.y + s.first * uy},
          {s.x + s.first * ux + s.second * vx, s.y + s.first * uy + s.second * vy},
          {s.x + s.second * vx, s.y + s.second * vy}};
}

// The corners in the order and sense the model file lists them.
inline std::vector<Point2D> ListedCorners(const ColumnSpec& s) {
  const auto ccw = CcwCorners(s);
  std::vector<Point2D> out;
  for (int i = 0; i < 4; ++i) {
    const int k = s.clockwise ? (s.start_corner - i + 8) % 4 : (s.start_corner + i) % 4;
    out.push_back(ccw[static_cast<std::size_t>(k)]);
  }
  return out;
}

// The faces of a column: each runs from corner i to corner i+1
// counter-clockwise; its inward normal points into the section.
struct Faces {
  std::vector<Point2D> corners;
  double Distance(std::size_t face, double x, double y) const {
    const Point2D& a = corners[face];
    const Point2D& b = corners[(face + 1) % 4];
    const double len = a.GetDistance(b);
    const double nx = -(b.Y() - a.Y()) / len, ny = (b.X() - a.X()) / len;
    return (x - a.X()) * nx + (y - a.Y()) * ny;
  }
  double Along(std::size_t face, double x, double y) const {
    const Point2D& a = corners[face];
    const Point2D& b = corners[(face + 1) % 4];
    const double len = a.GetDistance(b);
    return ((x - a.X()) * (b.X() - a.X()) + (y - a.Y()) * (b.Y() - a.Y())) / len;
  }
  double Length(std::size_t face) const {
    return corners[face].GetDistance(corners[(face + 1) % 4]);
  }
  // The smallest distance from any face: negative outside the section.
  double Inside(double x, double y) const {
    double m = 1e300;
    for (std::size_t f = 0; f < 4; ++f) m = std::min(m, Distance(f, x, y));
    return m;
  }
};

// The vertices of a column as the host reports them, through the element
// model, as a real run reads them.
inline std::vector<Point3D> HostVertices(const std::vector<ColumnSpec>& columns) {
  HostElementAdapter::ElementModel::Builder builder("test");
  for (std::size_t i = 0; i < columns.size(); ++i) {
    builder.AddColumn("C" + std::to_string(i), ListedCorners(columns[i]), columns[i].bottom,
                      columns[i].top);
  }
  const auto model = builder.Build();
  std::vector<Point3D> out;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const HostElementAdapter::BaseElementAdapter ele(model, *model->Find("C" + std::to_string(i)));
    const auto& v = ele.GetGeometry().GetVertices();
    out.insert(out.end(), v.begin(), v.end());
  }
  return out;
}

// A palette parameter set read from the tool's folder, copied per use.
inline std::shared_ptr<HostBaseElements::BuildingElement> LoadPalette(const std::string& file) {
  static std::map<std::string, HostBaseElements::BuildingElement> cache;
  auto it = cache.find(file);
  if (it == cache.end()) {
    auto data = HostBaseElements::BuildingElementService::ReadOrThrow(std::string(PIER_TOOL_DIR) +
                                                                      "/" + file);
    it = cache.emplace(file, *data.build_ele_list.at(0)).first;
  }
  return std::make_shared<HostBaseElements::BuildingElement>(it->second);
}

struct Bar {
  std::vector<Point3D> points;
  double d = 0;
  HostReinf::BendingShapeType type = HostReinf::BendingShapeType::LongitudinalBar;
  std::size_t placement = 0;
};

inline std::vector<Bar> BarsOf(const std::vector<HostReinf::BarPlacement>& placements) {
  std::vector<Bar> bars;
  for (std::size_t i = 0; i < placements.size(); ++i) {
    const auto& shape = placements[i].GetBendingShape();
    for (auto& poly : placements[i].GetBars()) {
      bars.push_back({std::move(poly), shape.GetDiameter(), shape.GetShapeType(), i});
    }
  }
  return bars;
}

// The closest points of two segments: parameters s on the first and t on
// the second (0 to 1) and their distance.
struct Closest {
  double s = 0, t = 0, distance = 0;
};
inline Closest SegmentClosest(const Point3D& p1, const Point3D& q1, const Point3D& p2,
                              const Point3D& q2);

// Shortest distance between two segments in space.
inline double SegmentDistance(const Point3D& p1, const Point3D& q1, const Point3D& p2,
                              const Point3D& q2) {
  return SegmentClosest(p1, q1, p2, q2).distance;
}

inline Closest SegmentClosest(const Point3D& p1, const Point3D& q1, const Point3D& p2,
                              const Point3D& q2) {
  const HostGeo::Vector3D d1(p1, q1), d2(p2, q2), r(p2, p1);
  const double a = d1.Dot(d1), e = d2.Dot(d2), f = d2.Dot(r);
  double s = 0, t = 0;
  if (a <= 1e-12 && e <= 1e-12) return {0, 0, p1.GetDistance(p2)};
  if (a <= 1e-12) {
    t = std::clamp(f / e, 0.0, 1.0);
  } else {
    const double c = d1.Dot(r);
    if (e <= 1e-12) {
      s = std::clamp(-c / a, 0.0, 1.0);
    } else {
      const double b = d1.Dot(d2), denom = a * e - b * b;
      s = denom > 1e-12 ? std::clamp((b * f - c * e) / denom, 0.0, 1.0) : 0.0;
      t = (b * s + f) / e;
      if (t < 0) {
        t = 0;
        s = std::clamp(-c / a, 0.0, 1.0);
      } else if (t > 1) {
        t = 1;
        s = std::clamp((b - c) / a, 0.0, 1.0);
      }
    }
  }
  return {s, t, (p1 + d1 * s).GetDistance(p2 + d2 * t)};
}

inline double BarDistance(const Bar& a, const Bar& b) {
  double m = 1e300;
  for (std::size_t i = 1; i < a.points.size(); ++i) {
    for (std::size_t j = 1; j < b.points.size(); ++j) {
      m = std::min(m, SegmentDistance(a.points[i - 1], a.points[i], b.points[j - 1], b.points[j]));
    }
  }
  return m;
}

inline std::string Describe(const Bar& b) {
  std::ostringstream s;
  s << "bar of placement " << b.placement << " (d " << b.d << ") from "
    << HostGeo::ToString(b.points.front()) << " to " << HostGeo::ToString(b.points.back());
  return s.str();
}

}  // namespace testsupport
