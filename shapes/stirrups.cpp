// Open and closed stirrups: one stirrup shape in the section's plane,
// optionally moved, repeated along a line.
#include "host/geo.h"
#include "host/reinf.h"
#include "shapes/rows.h"
#include "shapes/shapekit.h"

namespace shapekit {
namespace {

using HostReinf::BarPlacement;
using HostReinf::BendingShape;
using HostReinf::BendingShapeType;
using HostReinf::ReinforcementShapeProperties;
namespace ShapeBuilder = HostReinf::GeneralReinfShapeBuilder;

struct HookPair {
  double length_start;
  double length_end;
  double angle_start;
  double angle_end;
};
// A hook length of -1 and an angle of 0 leave both ends plain.
constexpr HookPair kNoHooks{-1, -1, 0, 0};

// An open stirrup's second leg reaches past the section by the cover at both
// ends, so that its open end laps into the concrete beyond.
template <class Args>
BendingShape OpenStirrupShape(const Args& a, const HookPair& hooks) {
  const auto shape_props = ReinforcementShapeProperties::rebar(
      a.diameter, a.bending_roller, a.steel_grade, a.Concr_Grade, BendingShapeType::OpenStirrup);
  return ShapeBuilder::create_open_stirrup(
      {.width = a.Width,
       .length = a.Length + 2 * a.Concr_Cover,
       .model_angles = HostGeo::RotationAngles(a.X_Angel, a.Y_Angle, a.Z_Angle),
       .shape_props = shape_props,
       .concrete_cover_props = a.concrete_cover_props,
       .hook_length_start = hooks.length_start,
       .hook_length_end = hooks.length_end,
       .hook_angle_start = hooks.angle_start,
       .hook_angle_end = hooks.angle_end});
}

template <class Args>
BendingShape ClosedStirrupShape(const Args& a) {
  const auto shape_props = ReinforcementShapeProperties::rebar(
      a.diameter, a.bending_roller, a.steel_grade, a.Concr_Grade, BendingShapeType::Stirrup);
  return ShapeBuilder::create_stirrup_with_user_hooks(
      {.width = a.Width,
       .height = a.Length,
       .model_angles = HostGeo::RotationAngles(a.X_Angel, a.Y_Angle, a.Z_Angle),
       .shape_props = shape_props,
       .concrete_cover_props = a.concrete_cover_props,
       .stirrup_type = HostReinf::StirrupType::Column,
       .hook_length_start = a.Hook_Length_Start,
       .hook_angle_start = a.Hook_Angle_Start,
       .hook_length_end = a.Hook_Length_End,
       .hook_angle_end = a.Hook_Angle_End});
}

template <class Args>
BarPlacement BySpacing(const BendingShape& shape, const Args& a) {
  return HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_dist(
      rows::kPositionNumber, shape, a.point1, a.point2, a.Concr_Bottom, a.Concr_Top, a.Spacing);
}

// `direction` true moves across the plan angle, false along it.
rows::MoveKind AcrossIfSet(double direction) {
  return rows::IsSet(direction) ? rows::MoveKind::Perpendicular : rows::MoveKind::Parallel;
}

}  // namespace

BarPlacement OpenStirrup(const OpenStirrupArgs& args) {
  return BySpacing(OpenStirrupShape(args, kNoHooks), args);
}

BarPlacement OpenStirrup_withHook(const OpenStirrupWithHookArgs& args) {
  // The given hook lengths include the bend; the host wants the straight leg.
  const HookPair hooks{args.hook_length1 - args.diameter, args.hook_length2 - args.diameter,
                       args.hook_angle1, args.hook_angle2};
  return BySpacing(OpenStirrupShape(args, hooks), args);
}

BarPlacement OpenStirrupbyCount(const OpenStirrupByCountArgs& args) {
  const BendingShape shape = OpenStirrupShape(args, kNoHooks);
  return HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_count(
      rows::kPositionNumber, shape, rows::PointAt(args.point_list, args.index1, "index1"),
      rows::PointAt(args.point_list, args.index2, "index2"), args.Concr_Bottom, args.Concr_Top,
      args.Number);
}

BarPlacement OpenStirrup_Move(const OpenStirrupMoveArgs& args) {
  BendingShape shape = OpenStirrupShape(args, kNoHooks);
  rows::MoveShape(AcrossIfSet(args.direction), shape, args);
  return BySpacing(shape, args);
}

BarPlacement OpenStirrup_Move_Hor(const OpenStirrupMoveHorArgs& args) {
  BendingShape shape = OpenStirrupShape(args, kNoHooks);
  // The horizontal variant reads the flag the other way round.
  rows::MoveShape(
      rows::IsSet(args.direction) ? rows::MoveKind::Parallel : rows::MoveKind::Perpendicular, shape,
      args);
  return BySpacing(shape, args);
}

BarPlacement CloseStirrup(const CloseStirrupArgs& args) {
  return BySpacing(ClosedStirrupShape(args), args);
}

BarPlacement CloseStirrup_Move(const CloseStirrupMoveArgs& args) {
  BendingShape shape = ClosedStirrupShape(args);
  rows::MoveShape(AcrossIfSet(args.direction), shape, args);
  return BySpacing(shape, args);
}

}  // namespace shapekit
