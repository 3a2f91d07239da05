// Moving a bar shape along or across the plan angle. Each function builds one
// vector and moves the shape once, so a failure leaves the shape untouched.
#include <cmath>
#include <stdexcept>

#include "common/geomkit.h"

namespace geomkit {

namespace {

// The sign factors scale the length part only; the offsets are added as they
// are, neither scaled nor rotated.
void MoveAlong(const MoveArgs& args) {
  const double a = args.angle.Get();
  const HostGeo::Vector3D v(args.length * std::cos(a) * args.dir_x + args.delta_x,
                            args.length * std::sin(a) * args.dir_y + args.delta_y, args.delta_z);
  args.Shape.Move(v);
}

}  // namespace

void move(const MoveArgs& args) { MoveAlong(args); }

void Move_parallel(const MoveArgs& args) { MoveAlong(args); }

// Sine and cosine trade places: with dir_x = -1 the vector points along the
// angle turned by +90 degrees, with dir_y = -1 along the angle turned by -90.
void Move_perpendicular(const MoveArgs& args) {
  const double a = args.angle.Get();
  const HostGeo::Vector3D v(args.length * std::sin(a) * args.dir_x + args.delta_x,
                            args.length * std::cos(a) * args.dir_y + args.delta_y, args.delta_z);
  args.Shape.Move(v);
}

std::array<double, 2> Getpointfrom2points(const HostGeo::Point3D& Point1,
                                          const HostGeo::Point3D& Point2, double distance) {
  const double xa = Point1.Values()[0];
  const double ya = Point1.Values()[1];
  const double xb = Point2.Values()[0];
  const double yb = Point2.Values()[1];
  const double d = std::sqrt((xb - xa) * (xb - xa) + (yb - ya) * (yb - ya));
  if (d == 0.0) {
    throw std::invalid_argument("Getpointfrom2points: the two points " + HostGeo::ToString(Point1) +
                                " and " + HostGeo::ToString(Point2) +
                                " share their plan position, so they give no direction");
  }
  return {xa + (xb - xa) / d * distance, ya + (yb - ya) / d * distance};
}

}  // namespace geomkit
