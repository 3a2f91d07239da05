// Straight longitudinal bars: one bar shape at the origin, optionally moved
// into its place in the section, repeated along a line.
#include "host/geo.h"
#include "host/reinf.h"
#include "shapes/rows.h"
#include "shapes/shapekit.h"

namespace shapekit {
namespace {

using HostReinf::BendingShape;
using HostReinf::BendingShapeType;
using HostReinf::ConcreteCoverProperties;
using HostReinf::ReinforcementShapeProperties;

// The straight bar every row function places. Its cover is zero on every
// side whatever the caller passes: the row's covers are those of the
// placement, and the bar runs the full `Height`.
template <class Args>
BendingShape RowBar(const Args& a) {
  const auto shape_props_longit =
      ReinforcementShapeProperties::rebar(a.diameter, a.bending_roller, a.steel_grade,
                                          a.Concr_Grade, BendingShapeType::LongitudinalBar);
  const auto concrete_cover_props = ConcreteCoverProperties::all(0);
  return HostReinf::GeneralReinfShapeBuilder::create_longitudinal_shape_with_hooks(
      a.Height, HostGeo::RotationAngles(a.X_Angel, a.Y_Angle, a.Z_Angle), shape_props_longit,
      concrete_cover_props, -1, -1);
}

template <class Args>
HostReinf::BarPlacement ByCount(const BendingShape& shape, const Args& a) {
  return HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_count(
      rows::kPositionNumber, shape, a.point1, a.point2, a.Concr_Bottom, a.Concr_Top, a.Number);
}

}  // namespace

HostReinf::BarPlacement Longit_Count(const LongitCountArgs& args) {
  return ByCount(RowBar(args), args);
}

HostReinf::BarPlacement Longit_Count_Move(const LongitCountMoveArgs& args) {
  BendingShape shape = RowBar(args);
  // The main bars of a column always shift along the plan angle; `direction`
  // only matters to the siblings below.
  rows::MoveShape(rows::MoveKind::Parallel, shape, args);
  return ByCount(shape, args);
}

HostReinf::BarPlacement Longit_Spacing_Move(const LongitSpacingMoveArgs& args) {
  BendingShape shape = RowBar(args);
  rows::MoveShape(
      rows::IsSet(args.direction) ? rows::MoveKind::Perpendicular : rows::MoveKind::Parallel, shape,
      args);
  return HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_dist(
      rows::kPositionNumber, shape, rows::PointAt(args.point_list, args.index1, "index1"),
      rows::PointAt(args.point_list, args.index2, "index2"), args.Concr_Bottom, args.Concr_Top,
      args.Spacing);
}

HostReinf::BendingShape create_longitudinal_shape_with_hooks(
    double length, const HostGeo::RotationAngles& model_angles,
    const HostReinf::ReinforcementShapeProperties& shape_props,
    const HostReinf::ConcreteCoverProperties& concrete_cover_props, double start_hook,
    double end_hook) {
  HostReinf::ReinforcementShapeBuilder shape_builder;
  shape_builder.AddPoints({{HostGeo::Point2D(), concrete_cover_props.left},
                           {HostGeo::Point2D(length, 0), concrete_cover_props.bottom}},
                          concrete_cover_props.right);

  // 0 asks for the host's anchorage hook, a positive value for a hook leg of
  // that length, a negative value for a plain end.
  if (start_hook == 0) {
    shape_builder.SetAnchorageHookStart(90);
  } else if (start_hook > 0) {
    shape_builder.SetHookStart(start_hook, 90, HostReinf::HookType::eAnchorage);
  }
  if (end_hook == 0) {
    shape_builder.SetAnchorageHookEnd(90);
  } else if (end_hook > 0) {
    shape_builder.SetHookEnd(end_hook, 90, HostReinf::HookType::eAnchorage);
  }

  BendingShape shape = shape_builder.CreateShape(shape_props);
  // An invalid shape has nothing to rotate; the caller asks IsValid().
  if (shape.IsValid()) shape.Rotate(model_angles);
  return shape;
}

}  // namespace shapekit
