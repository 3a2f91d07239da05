// Straight and cranked column bars, moved into the section and placed by
// count.
#include "placement/pierplace.h"

#include <cmath>

#include "common/geomkit.h"

namespace pierplace {
namespace {

using HostReinf::BarPlacement;
using HostReinf::BendingShape;
using HostReinf::BendingShapeType;
using HostReinf::ReinforcementShapeProperties;

constexpr int kPositionNumber = 2;

template <class Args>
ReinforcementShapeProperties BarProps(const Args& a) {
  return ReinforcementShapeProperties::rebar(a.diameter, a.bending_roller, a.steel_grade,
                                             a.Concr_Grade, BendingShapeType::LongitudinalBar);
}

// A straight bar of length `Height` without hooks, keeping the caller's covers.
template <class Args>
BendingShape StraightBar(const Args& a) {
  return HostReinf::GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks(
      a.Height, HostGeo::RotationAngles(a.X_Angel, a.Y_Angle, a.Z_Angle), BarProps(a),
      a.concrete_cover_props, -1, -1);
}

// The cage's orientation flag: only exactly 1 selects the across-first order.
bool AcrossFirst(double direction) { return direction == 1; }

// One move of a shape across or along the plan angle.
struct Move {
  double length;
  double dir_x, dir_y;
  double delta_x, delta_y, delta_z;
};

void MoveAcross(BendingShape& shape, const HostGeo::Angle& angle, const Move& m) {
  geomkit::Move_perpendicular({.Shape = shape,
                               .length = m.length,
                               .angle = angle,
                               .dir_x = m.dir_x,
                               .dir_y = m.dir_y,
                               .delta_x = m.delta_x,
                               .delta_y = m.delta_y,
                               .delta_z = m.delta_z});
}

void MoveAlong(BendingShape& shape, const HostGeo::Angle& angle, const Move& m) {
  geomkit::Move_parallel({.Shape = shape,
                          .length = m.length,
                          .angle = angle,
                          .dir_x = m.dir_x,
                          .dir_y = m.dir_y,
                          .delta_x = m.delta_x,
                          .delta_y = m.delta_y,
                          .delta_z = m.delta_z});
}

// Two moves in the order the orientation flag picks: across then along for
// direction 1, along then across otherwise. The first move always takes
// `first`, whichever kind it is.
void MoveTwice(BendingShape& shape, const HostGeo::Angle& angle, double direction,
               const Move& first, const Move& second) {
  if (AcrossFirst(direction)) {
    MoveAcross(shape, angle, first);
    MoveAlong(shape, angle, second);
  } else {
    MoveAlong(shape, angle, first);
    MoveAcross(shape, angle, second);
  }
}

}  // namespace

std::vector<HostGeo::Point2D> crank_shape(double length1, double crank_distance1,
                                          double crank_distance2, double length2) {
  const double L = std::abs(length1);
  return {HostGeo::Point2D(0, 0), HostGeo::Point2D(0, L),
          HostGeo::Point2D(crank_distance2, L + crank_distance1),
          HostGeo::Point2D(crank_distance2, L + crank_distance1 + length2)};
}

std::vector<BarPlacement> Crank_Count_Move(const CrankCountMoveArgs& args) {
  // The freeform builder's cover is a plain number, not cover properties:
  // the crank keeps its full length, and Concr_Cover goes to the placement.
  BendingShape shape = HostReinf::GeneralReinfShapeBuilder::create_freeform_shape_with_hooks(
      args.points, HostGeo::RotationAngles(args.X_Angel, args.Y_Angle, args.Z_Angle),
      BarProps(args), 0, -1, -1);
  MoveTwice(
      shape, args.angle, args.direction,
      {args.Move_length1, args.dir_x, args.dir_y, args.delta_x, args.delta_y, args.delta_z},
      {args.Move_length2, args.dir_x2, args.dir_y2, args.delta_x2, args.delta_y2, args.delta_z2});
  return {HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_count(
      kPositionNumber, shape, args.point1, args.point2, args.Concr_Cover, args.Concr_Cover,
      args.Number)};
}

BarPlacement Longit_Count_Move(const shapekit::LongitCountMoveArgs& args) {
  BendingShape shape = StraightBar(args);
  const Move m{args.Move_length, args.dir_x, args.dir_y, args.delta_x, args.delta_y, args.delta_z};
  if (AcrossFirst(args.direction)) {
    MoveAcross(shape, args.angle, m);
  } else {
    MoveAlong(shape, args.angle, m);
  }
  return HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_count(
      kPositionNumber, shape, args.point1, args.point2, args.Concr_Bottom, args.Concr_Top,
      args.Number);
}

BarPlacement Longit_Count_Move_2direct(const LongitCountMove2directArgs& args) {
  BendingShape shape = StraightBar(args);
  // The plan offsets go with both moves; the lift only with the first, so
  // the bar is raised once.
  MoveTwice(shape, args.angle, args.direction,
            {args.Move_length1, args.dir_x1, args.dir_y1, args.delta_x, args.delta_y, args.delta_z},
            {args.Move_length2, args.dir_x2, args.dir_y2, args.delta_x, args.delta_y, 0});
  return HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_count(
      kPositionNumber, shape, args.point1, args.point2, args.Concr_Bottom, args.Concr_Top,
      args.Number);
}

std::vector<BarPlacement> Longit(const LongitArgs& args) {
  const double length = geomkit::round_up(args.Length);
  // Upright bars, two per side; the opposite side mirrors the move.
  const auto side = [&](const HostGeo::Point3D& from, const HostGeo::Point3D& to, double sign) {
    return Longit_Count_Move({.bending_roller = args.bending_roller,
                              .steel_grade = args.steel_grade,
                              .concrete_cover_props = args.concrete_cover_props,
                              .Concr_Cover = args.Concr_Cover,
                              .Concr_Grade = args.Concr_Grade,
                              .point1 = from,
                              .point2 = to,
                              .diameter = args.diameter,
                              .Height = length,
                              .X_Angel = 0,
                              .Y_Angle = 270,
                              .Z_Angle = 0,
                              .Number = 2,
                              .Concr_Bottom = args.Concr_Bottom,
                              .Concr_Top = args.Concr_Top,
                              .Move_length = args.Move_length,
                              .angle = args.angle,
                              .dir_x = sign,
                              .dir_y = sign,
                              .delta_x = 0,
                              .delta_y = 0,
                              .delta_z = 0,
                              .direction = args.direction});
  };
  return {side(args.point1, args.point2, 1), side(args.point3, args.point4, -1)};
}

}  // namespace pierplace
