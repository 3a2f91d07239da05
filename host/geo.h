// HostGeo: the host's geometry values. Lengths are millimetres, angles are
// held in radians and read in degrees with GetDeg().
#pragma once

#include <array>
#include <cmath>
#include <numbers>
#include <string>

namespace HostGeo {

class Vector3D;

// Points compare by exact coordinate equality. The host never snaps or
// rounds a coordinate behind the caller's back; where a tolerance is needed
// (tests, exporters) it is the caller's, stated where it is used.
class Point2D {
 public:
  Point2D() = default;  // the origin
  Point2D(double x, double y) : x_(x), y_(y) {}

  double X() const { return x_; }
  double Y() const { return y_; }
  std::array<double, 2> Values() const { return {x_, y_}; }
  double GetDistance(const Point2D& other) const {
    return std::hypot(other.x_ - x_, other.y_ - y_);
  }
  bool operator==(const Point2D&) const = default;

 private:
  double x_ = 0;
  double y_ = 0;
};

class Point3D {
 public:
  Point3D() = default;  // the origin
  Point3D(double x, double y, double z) : x_(x), y_(y), z_(z) {}

  double X() const { return x_; }
  double Y() const { return y_; }
  double Z() const { return z_; }
  // [x, y, z]
  std::array<double, 3> Values() const { return {x_, y_, z_}; }
  double GetDistance(const Point3D& other) const;
  Point2D To2D() const { return {x_, y_}; }
  bool IsFinite() const { return std::isfinite(x_) && std::isfinite(y_) && std::isfinite(z_); }

  Point3D operator+(const Vector3D& v) const;
  Point3D operator-(const Vector3D& v) const;
  bool operator==(const Point3D&) const = default;

 private:
  double x_ = 0;
  double y_ = 0;
  double z_ = 0;
};

class Vector3D {
 public:
  Vector3D() = default;
  Vector3D(double x, double y, double z) : x_(x), y_(y), z_(z) {}
  // The vector from the origin to the point.
  explicit Vector3D(const Point3D& point) : x_(point.X()), y_(point.Y()), z_(point.Z()) {}
  // The vector from `from` to `to`.
  Vector3D(const Point3D& from, const Point3D& to)
      : x_(to.X() - from.X()), y_(to.Y() - from.Y()), z_(to.Z() - from.Z()) {}

  double X() const { return x_; }
  double Y() const { return y_; }
  double Z() const { return z_; }
  std::array<double, 3> Values() const { return {x_, y_, z_}; }
  double GetLength() const { return std::sqrt(x_ * x_ + y_ * y_ + z_ * z_); }
  // The unit vector; a zero vector has no direction and is an error.
  Vector3D Normalized() const;
  double Dot(const Vector3D& o) const { return x_ * o.x_ + y_ * o.y_ + z_ * o.z_; }
  Vector3D Cross(const Vector3D& o) const {
    return {y_ * o.z_ - z_ * o.y_, z_ * o.x_ - x_ * o.z_, x_ * o.y_ - y_ * o.x_};
  }

  Vector3D operator+(const Vector3D& o) const { return {x_ + o.x_, y_ + o.y_, z_ + o.z_}; }
  Vector3D operator-(const Vector3D& o) const { return {x_ - o.x_, y_ - o.y_, z_ - o.z_}; }
  Vector3D operator*(double f) const { return {x_ * f, y_ * f, z_ * f}; }
  Vector3D operator-() const { return {-x_, -y_, -z_}; }
  bool operator==(const Vector3D&) const = default;

 private:
  double x_ = 0;
  double y_ = 0;
  double z_ = 0;
};

inline Point3D Point3D::operator+(const Vector3D& v) const {
  return {x_ + v.X(), y_ + v.Y(), z_ + v.Z()};
}
inline Point3D Point3D::operator-(const Vector3D& v) const {
  return {x_ - v.X(), y_ - v.Y(), z_ - v.Z()};
}
inline double Point3D::GetDistance(const Point3D& other) const {
  return Vector3D(*this, other).GetLength();
}

// A plane angle. Constructed from radians; a plain number converts to an
// angle in radians, as the move helpers take either.
class Angle {
 public:
  Angle() = default;
  Angle(double radians) : rad_(radians) {}  // NOLINT: implicit by design
  static Angle FromDeg(double degrees) { return Angle(degrees / 180.0 * std::numbers::pi); }

  double Get() const { return rad_; }  // radians
  double GetDeg() const { return rad_ / std::numbers::pi * 180.0; }

 private:
  double rad_ = 0;
};

// Direction of b - a in the plan, in (-180, 180] degrees. Equal points give 0.
Angle CalcAngle(const Point2D& a, const Point2D& b);

class Line3D {
 public:
  Line3D(const Point3D& start, const Point3D& end) : start_(start), end_(end) {}
  const Point3D& GetStartPoint() const { return start_; }
  const Point3D& GetEndPoint() const { return end_; }
  bool operator==(const Line3D&) const = default;

 private:
  Point3D start_;
  Point3D end_;
};

double CalcLength(const Line3D& line);

namespace TransformCoord {
// The point at distance `x` from the line's start towards its end; a line of
// zero length has no direction and is an error.
Point3D PointGlobal(const Line3D& line, double x);
}  // namespace TransformCoord

// Rotation about the global X axis, then Y, then Z, right-handed, about the
// origin; angles in degrees. (0, 270, 0) turns local +x into +z, (90, 0, 0)
// turns local +y into +z, (0, 0, t) turns the plan by t.
class RotationAngles {
 public:
  RotationAngles() = default;
  RotationAngles(double x_deg, double y_deg, double z_deg);

  double GetX() const { return x_deg_; }
  double GetY() const { return y_deg_; }
  double GetZ() const { return z_deg_; }
  Point3D Apply(const Point3D& p) const;
  Vector3D Apply(const Vector3D& v) const;

 private:
  double x_deg_ = 0, y_deg_ = 0, z_deg_ = 0;
  std::array<double, 9> m_{1, 0, 0, 0, 1, 0, 0, 0, 1};  // row-major
};

// An affine transformation; the default is the identity.
class Matrix3D {
 public:
  Matrix3D() = default;
  bool IsIdentity() const;
  // True when the matrix only moves points, without turning or scaling.
  bool IsTranslation() const;
  Point3D Transform(const Point3D& p) const;
  static Matrix3D Translation(const Vector3D& v);
  bool operator==(const Matrix3D&) const = default;

 private:
  std::array<double, 12> m_{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};  // 3 rows of 4
};

std::string ToString(const Point3D& p);

}  // namespace HostGeo
