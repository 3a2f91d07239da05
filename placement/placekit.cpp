// Closed stirrups, hooked bars and mesh sheets.
#include "placement/placekit.h"

#include <locale>
#include <sstream>
#include <utility>

#include "common/geomkit.h"
#include "host/util.h"

namespace placekit {
namespace {

using HostReinf::BarPlacement;
using HostReinf::BendingShape;
using HostReinf::BendingShapeType;
using HostReinf::ReinforcementShapeProperties;

constexpr int kPositionNumber = 2;

template <class Args>
BarPlacement BySpacing(const BendingShape& shape, const Args& a) {
  return HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_dist(
      kPositionNumber, shape, a.point1, a.point2, a.Concr_Bottom, a.Concr_Top, a.Spacing);
}

// A straight bar with the same hook at both ends.
BendingShape HookedBar(const LongHookMovePerpArgs& a) {
  const auto shape_props =
      ReinforcementShapeProperties::rebar(a.diameter, a.bending_roller, a.steel_grade,
                                          a.Concr_Grade, BendingShapeType::LongitudinalBar);
  return HostReinf::GeneralReinfShapeBuilder::create_longitudinal_shape_with_user_hooks(
      {.length = a.Length,
       .model_angles = a.rotation,
       .shape_props = shape_props,
       .concrete_cover_props = a.concrete_cover_props,
       .hook_length_start = a.Hook_Length,
       .hook_length_end = a.Hook_Length,
       .hook_angle_start = a.Hook_Angle,
       .hook_angle_end = a.Hook_Angle});
}

// The hooked bars move once, by the plain length: no signs, no offsets, and
// no orientation flag to pick the kind of move.
geomkit::MoveArgs PlainMove(BendingShape& shape, const LongHookMovePerpArgs& a) {
  return {.Shape = shape,
          .length = a.Move_Length,
          .angle = a.angle,
          .dir_x = 1,
          .dir_y = 1,
          .delta_x = 0,
          .delta_y = 0,
          .delta_z = 0};
}

}  // namespace

std::vector<BarPlacement> Close_Stirrup(const CloseStirrupArgs& args) {
  const auto shape_props =
      ReinforcementShapeProperties::rebar(args.diameter, args.bending_roller, args.steel_grade,
                                          args.Concr_Grade, BendingShapeType::Stirrup);
  // The same hook closes both ends, so the stirrup is symmetric at its corner.
  const BendingShape stirrup = HostReinf::GeneralReinfShapeBuilder::create_stirrup_with_user_hooks(
      {.width = args.Width,
       .height = args.Height,
       .model_angles = args.rotation,
       .shape_props = shape_props,
       .concrete_cover_props = args.concrete_cover_props,
       .stirrup_type = HostReinf::StirrupType::Column,
       .hook_length_start = args.Hook_Length,
       .hook_angle_start = args.Hook_Angle,
       .hook_length_end = args.Hook_Length,
       .hook_angle_end = args.Hook_Angle});
  return {BySpacing(stirrup, args)};
}

std::vector<BarPlacement> Long_hook_Move_perp(const LongHookMovePerpArgs& args) {
  BendingShape bar = HookedBar(args);
  geomkit::Move_perpendicular(PlainMove(bar, args));
  return {BySpacing(bar, args)};
}

std::vector<BarPlacement> Long_hook_Move_para(const LongHookMoveParaArgs& args) {
  BendingShape bar = HookedBar(args);
  geomkit::Move_parallel(PlainMove(bar, args));
  return {BySpacing(bar, args)};
}

std::vector<HostReinf::MeshPlacement>& create_mesh_placement_by_points(
    const CreateMeshPlacementByPointsArgs& args) {
  const HostGeo::Line3D place_line(args.from_point, args.to_point);
  // The host hands the dimensions back as a pair, so "not exactly two values"
  // cannot arise here; an unknown mesh type is the host's error.
  const auto [w, other] =
      HostReinf::ReinforcementShapeBuilder::GetMeshData(args.shape.GetMeshType()).GetDimensions();

  // Every point is worked out before anything is written or appended, so a
  // failure (a zero-length line, say) leaves no trace.
  const HostGeo::Point3D start =
      HostGeo::TransformCoord::PointGlobal(place_line, args.concrete_cover_left);
  const HostGeo::Point3D end =
      HostGeo::TransformCoord::PointGlobal(place_line, args.concrete_cover_left + w);

  {
    // The dimensions are printed as a stream prints them, in any locale.
    std::ostringstream dims;
    dims.imbue(std::locale::classic());
    dims << w << ' ' << other;
    HostUtil::PrintLine(dims.str());
  }

  // One sheet, however long the line: the right cover does not shorten it.
  BendingShape mesh_shape(args.shape);
  mesh_shape.Move(HostGeo::Vector3D(start));
  args.model_ele_list.emplace_back(args.position, HostGeo::Vector3D(start, end),
                                   std::move(mesh_shape));
  return args.model_ele_list;
}

}  // namespace placekit
