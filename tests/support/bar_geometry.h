// Bars as they are bent: every corner of a bar's polyline rounded with its
// bend radius, the bar a tube of its diameter round that centreline. Tests
// judge clashes, covers and contact on these tubes, independently of the
// exporters' own rounding.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "host/host.h"
#include "support/cage_check.h"

namespace testsupport {

// A bar as built: its rounded centreline (arcs as short chords), diameter
// and the box that holds it.
struct BentBar {
  std::vector<Point3D> line;
  double d = 0;
  double bend_radius = 0;
  HostReinf::BendingShapeType type = HostReinf::BendingShapeType::LongitudinalBar;
  std::size_t placement = 0;
  Point3D lo, hi;  // bounding box of the centreline
  // Arcs' chords stand inside the true arc by at most this, mm.
  double chord_error = 0;
};

// Rounds each corner with radius R (shrinking it where two bends share a
// short leg), arcs sampled every `step_deg` degrees.
inline std::vector<Point3D> RoundedCentreline(const std::vector<Point3D>& poly, double R,
                                              double step_deg = 4) {
  std::vector<Point3D> p;
  for (const auto& q : poly) {
    if (p.empty() || p.back().GetDistance(q) > 1e-9) p.push_back(q);
  }
  const std::size_t n = p.size();
  if (n < 3 || R <= 0) return p;
  std::vector<double> turn(n, 0), tangent(n, 0), shrink(n, 1);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const auto in = HostGeo::Vector3D(p[i - 1], p[i]).Normalized();
    const auto out = HostGeo::Vector3D(p[i], p[i + 1]).Normalized();
    turn[i] = std::acos(std::clamp(in.Dot(out), -1.0, 1.0));
    if (turn[i] > 1e-6 && turn[i] < std::numbers::pi - 1e-6) tangent[i] = R * std::tan(turn[i] / 2);
  }
  for (std::size_t j = 0; j + 1 < n; ++j) {
    const double need = tangent[j] + tangent[j + 1], leg = p[j].GetDistance(p[j + 1]);
    if (need > leg + 1e-9) {
      shrink[j] = std::min(shrink[j], leg / need);
      shrink[j + 1] = std::min(shrink[j + 1], leg / need);
    }
  }
  std::vector<Point3D> out{p[0]};
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double t = tangent[i] * shrink[i];
    if (t <= 1e-9) {
      out.push_back(p[i]);
      continue;
    }
    const double r = R * shrink[i];
    const auto in = HostGeo::Vector3D(p[i - 1], p[i]).Normalized();
    const auto outd = HostGeo::Vector3D(p[i], p[i + 1]).Normalized();
    const Point3D a = p[i] - in * t, b = p[i] + outd * t;
    const auto inward = (outd - in).Normalized();
    const Point3D centre = p[i] + inward * (r / std::cos(turn[i] / 2));
    const auto ua = HostGeo::Vector3D(centre, a) * (1 / r);
    const auto ub = HostGeo::Vector3D(centre, b) * (1 / r);
    // The arc from a to b round the centre, in the plane of the two legs.
    const int steps =
        std::max(1, static_cast<int>(std::ceil(turn[i] / (step_deg / 180 * std::numbers::pi))));
    const double sweep = turn[i];
    // An orthonormal pair in the arc's plane: ua and the part of ub across it.
    const auto across = (ub - ua * ua.Dot(ub)).Normalized();
    for (int k = 0; k <= steps; ++k) {
      const double phi = sweep * k / steps;
      out.push_back(centre + ua * (r * std::cos(phi)) + across * (r * std::sin(phi)));
    }
  }
  out.push_back(p[n - 1]);
  return out;
}

inline std::vector<BentBar> BentBarsOf(const std::vector<HostReinf::BarPlacement>& placements,
                                       std::size_t first_index = 0) {
  constexpr double kStepDeg = 4;
  std::vector<BentBar> out;
  for (std::size_t i = 0; i < placements.size(); ++i) {
    const auto& shape = placements[i].GetBendingShape();
    for (const auto& poly : placements[i].GetBars()) {
      BentBar b;
      b.line = RoundedCentreline(poly, shape.GetBendRadius(), kStepDeg);
      b.d = shape.GetDiameter();
      b.bend_radius = shape.GetBendRadius();
      b.type = shape.GetShapeType();
      b.placement = first_index + i;
      b.chord_error = b.bend_radius * (1 - std::cos(kStepDeg / 360 * std::numbers::pi));
      double x0 = 1e300, y0 = 1e300, z0 = 1e300, x1 = -1e300, y1 = -1e300, z1 = -1e300;
      for (const auto& q : b.line) {
        x0 = std::min(x0, q.X());
        y0 = std::min(y0, q.Y());
        z0 = std::min(z0, q.Z());
        x1 = std::max(x1, q.X());
        y1 = std::max(y1, q.Y());
        z1 = std::max(z1, q.Z());
      }
      b.lo = {x0, y0, z0};
      b.hi = {x1, y1, z1};
      out.push_back(std::move(b));
    }
  }
  return out;
}

// Shortest distance between the centrelines of two bars; stops early once
// below `enough`, and does not look past `cap` (when only "less than"
// matters; the answer is then `cap` for bars further apart).
inline double CentrelineDistance(const BentBar& a, const BentBar& b, double enough = -1,
                                 double cap = 1e300) {
  double m = cap;
  for (std::size_t i = 1; i < a.line.size(); ++i) {
    const Point3D &p = a.line[i - 1], &q = a.line[i];
    const double ax0 = std::min(p.X(), q.X()), ax1 = std::max(p.X(), q.X());
    const double ay0 = std::min(p.Y(), q.Y()), ay1 = std::max(p.Y(), q.Y());
    const double az0 = std::min(p.Z(), q.Z()), az1 = std::max(p.Z(), q.Z());
    for (std::size_t j = 1; j < b.line.size(); ++j) {
      const Point3D &r = b.line[j - 1], &s = b.line[j];
      // Boxes further apart than the best so far cannot do better.
      const double gx = std::max({0.0, std::min(r.X(), s.X()) - ax1, ax0 - std::max(r.X(), s.X())});
      const double gy = std::max({0.0, std::min(r.Y(), s.Y()) - ay1, ay0 - std::max(r.Y(), s.Y())});
      const double gz = std::max({0.0, std::min(r.Z(), s.Z()) - az1, az0 - std::max(r.Z(), s.Z())});
      if (gx * gx + gy * gy + gz * gz >= m * m) continue;
      m = std::min(m, SegmentDistance(p, q, r, s));
      if (m < enough) return m;
    }
  }
  return m;
}

// Whether two bars' boxes, grown by their radii, meet.
inline bool BoxesMeet(const BentBar& a, const BentBar& b) {
  const double g = (a.d + b.d) / 2;
  return a.lo.X() - g <= b.hi.X() && b.lo.X() - g <= a.hi.X() && a.lo.Y() - g <= b.hi.Y() &&
         b.lo.Y() - g <= a.hi.Y() && a.lo.Z() - g <= b.hi.Z() && b.lo.Z() - g <= a.hi.Z();
}

inline std::string Describe(const BentBar& b) {
  std::ostringstream s;
  s << HostReinf::ToString(b.type) << " bar of placement " << b.placement << " (d " << b.d
    << ") from " << HostGeo::ToString(b.line.front()) << " to " << HostGeo::ToString(b.line.back());
  return s.str();
}

inline bool Straight(const BentBar& b) {
  return b.type != HostReinf::BendingShapeType::Stirrup &&
         b.type != HostReinf::BendingShapeType::CrossTie;
}

// How deep two bars' solids run into each other, mm (negative: apart). A
// longitudinal bar ends square: a tube beyond its end face only meets it
// where it reaches over that face.
inline double Penetration(const BentBar& a, const BentBar& b) {
  const double ra = a.d / 2, rb = b.d / 2;
  double worst = -1e300;
  for (std::size_t i = 1; i < a.line.size(); ++i) {
    for (std::size_t j = 1; j < b.line.size(); ++j) {
      const Point3D &p = a.line[i - 1], &q = a.line[i], &r = b.line[j - 1], &s = b.line[j];
      const double gx = std::max({0.0, std::min(r.X(), s.X()) - std::max(p.X(), q.X()),
                                  std::min(p.X(), q.X()) - std::max(r.X(), s.X())});
      const double gy = std::max({0.0, std::min(r.Y(), s.Y()) - std::max(p.Y(), q.Y()),
                                  std::min(p.Y(), q.Y()) - std::max(r.Y(), s.Y())});
      const double gz = std::max({0.0, std::min(r.Z(), s.Z()) - std::max(p.Z(), q.Z()),
                                  std::min(p.Z(), q.Z()) - std::max(r.Z(), s.Z())});
      if (gx * gx + gy * gy + gz * gz >= (ra + rb) * (ra + rb)) continue;
      const Closest c = SegmentClosest(p, q, r, s);
      double pen = ra + rb - c.distance;
      // A square end: the other bar's point beyond the end face.
      const auto square_end = [&](const Point3D& end, const Point3D& inner, const Point3D& other,
                                  double r_end, double r_other) {
        const auto axis = HostGeo::Vector3D(inner, end).Normalized();
        const HostGeo::Vector3D w(end, other);
        const double beyond = w.Dot(axis);
        if (beyond <= 0) return;
        const double radial = (w - axis * beyond).GetLength();
        pen = beyond >= r_other ? -1.0
                                : r_end + std::sqrt(r_other * r_other - beyond * beyond) - radial;
      };
      const Point3D on_a = p + HostGeo::Vector3D(p, q) * c.s;
      const Point3D on_b = r + HostGeo::Vector3D(r, s) * c.t;
      if (Straight(a) && i == 1 && c.s <= 1e-9) square_end(p, q, on_b, ra, rb);
      if (Straight(a) && i + 1 == a.line.size() && c.s >= 1 - 1e-9) square_end(q, p, on_b, ra, rb);
      if (Straight(b) && j == 1 && c.t <= 1e-9) square_end(r, s, on_a, rb, ra);
      if (Straight(b) && j + 1 == b.line.size() && c.t >= 1 - 1e-9) square_end(s, r, on_a, rb, ra);
      worst = std::max(worst, pen);
    }
  }
  return worst;
}

// Pairs of bars whose solids overlap by more than `tol` (mm), described.
inline std::vector<std::string> Overlaps(const std::vector<BentBar>& bars, double tol) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < bars.size(); ++i) {
    for (std::size_t j = i + 1; j < bars.size(); ++j) {
      if (!BoxesMeet(bars[i], bars[j])) continue;
      const double pen = Penetration(bars[i], bars[j]);
      if (pen > tol + bars[i].chord_error + bars[j].chord_error) {
        std::ostringstream s;
        s << Describe(bars[i]) << " overlaps " << Describe(bars[j]) << " by " << pen << " mm";
        out.push_back(s.str());
        if (out.size() >= 5) return out;
      }
    }
  }
  return out;
}

}  // namespace testsupport
