#include "host/geo.h"

#include <cstdio>
#include <stdexcept>

namespace HostGeo {

Vector3D Vector3D::Normalized() const {
  const double len = GetLength();
  if (!(len > 0) || !std::isfinite(len)) {
    throw std::invalid_argument("a zero or non-finite vector has no direction");
  }
  return {x_ / len, y_ / len, z_ / len};
}

Angle CalcAngle(const Point2D& a, const Point2D& b) {
  const double dx = b.X() - a.X();
  const double dy = b.Y() - a.Y();
  if (dx == 0 && dy == 0) return Angle(0.0);
  double rad = std::atan2(dy, dx);                       // in [-pi, pi]
  if (rad == -std::numbers::pi) rad = std::numbers::pi;  // (-180, 180]
  return Angle(rad);
}

double CalcLength(const Line3D& line) {
  return line.GetStartPoint().GetDistance(line.GetEndPoint());
}

namespace TransformCoord {
Point3D PointGlobal(const Line3D& line, double x) {
  const Vector3D dir = Vector3D(line.GetStartPoint(), line.GetEndPoint());
  if (!(dir.GetLength() > 0)) {
    throw std::invalid_argument("the line from " + ToString(line.GetStartPoint()) +
                                " has zero length: no point can be placed along it");
  }
  return line.GetStartPoint() + dir.Normalized() * x;
}
}  // namespace TransformCoord

namespace {
// Cosine and sine of a whole-degree angle are exact at multiples of 90, so
// that a bar turned upright stays exactly upright.
void CosSinDeg(double deg, double& c, double& s) {
  const double r = std::fmod(deg, 360.0);
  const double q = r < 0 ? r + 360.0 : r;
  if (q == 0) {
    c = 1;
    s = 0;
    return;
  }
  if (q == 90) {
    c = 0;
    s = 1;
    return;
  }
  if (q == 180) {
    c = -1;
    s = 0;
    return;
  }
  if (q == 270) {
    c = 0;
    s = -1;
    return;
  }
  const double rad = deg / 180.0 * std::numbers::pi;
  c = std::cos(rad);
  s = std::sin(rad);
}

using M3 = std::array<double, 9>;
M3 Mul(const M3& a, const M3& b) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r[i * 3 + j] += a[i * 3 + k] * b[k * 3 + j];
  return r;
}
}  // namespace

RotationAngles::RotationAngles(double x_deg, double y_deg, double z_deg)
    : x_deg_(x_deg), y_deg_(y_deg), z_deg_(z_deg) {
  if (!std::isfinite(x_deg) || !std::isfinite(y_deg) || !std::isfinite(z_deg)) {
    throw std::invalid_argument("rotation angles must be finite numbers of degrees");
  }
  double cx, sx, cy, sy, cz, sz;
  CosSinDeg(x_deg, cx, sx);
  CosSinDeg(y_deg, cy, sy);
  CosSinDeg(z_deg, cz, sz);
  const M3 rx{1, 0, 0, 0, cx, -sx, 0, sx, cx};
  const M3 ry{cy, 0, sy, 0, 1, 0, -sy, 0, cy};
  const M3 rz{cz, -sz, 0, sz, cz, 0, 0, 0, 1};
  // About X first, then Y, then Z: R = Rz * Ry * Rx.
  m_ = Mul(rz, Mul(ry, rx));
}

Vector3D RotationAngles::Apply(const Vector3D& v) const {
  return {m_[0] * v.X() + m_[1] * v.Y() + m_[2] * v.Z(),
          m_[3] * v.X() + m_[4] * v.Y() + m_[5] * v.Z(),
          m_[6] * v.X() + m_[7] * v.Y() + m_[8] * v.Z()};
}

Point3D RotationAngles::Apply(const Point3D& p) const {
  const Vector3D v = Apply(Vector3D(p));
  return {v.X(), v.Y(), v.Z()};
}

bool Matrix3D::IsIdentity() const { return *this == Matrix3D(); }

bool Matrix3D::IsTranslation() const {
  Matrix3D linear = *this;
  linear.m_[3] = linear.m_[7] = linear.m_[11] = 0;
  return linear.IsIdentity();
}

Point3D Matrix3D::Transform(const Point3D& p) const {
  return {m_[0] * p.X() + m_[1] * p.Y() + m_[2] * p.Z() + m_[3],
          m_[4] * p.X() + m_[5] * p.Y() + m_[6] * p.Z() + m_[7],
          m_[8] * p.X() + m_[9] * p.Y() + m_[10] * p.Z() + m_[11]};
}

Matrix3D Matrix3D::Translation(const Vector3D& v) {
  Matrix3D m;
  m.m_[3] = v.X();
  m.m_[7] = v.Y();
  m.m_[11] = v.Z();
  return m;
}

std::string ToString(const Point3D& p) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "(%g, %g, %g)", p.X(), p.Y(), p.Z());
  return buf;
}

}  // namespace HostGeo
