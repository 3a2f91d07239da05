#include "cage/cage_single.h"

#include <stdexcept>

#include "cage/cage_common.h"
#include "common/geomkit.h"

namespace cage_single {

using HostGeo::Point3D;

Reinforcement::Reinforcement(
    std::shared_ptr<HostBaseElements::BuildingElement> build_ele,
    std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service,
    HostInput::CoordinateInput& /*coord_input*/, std::string tool_path,
    HostUtil::StringTableService& /*str_table_service*/, const PointList& point_list) {
  if (point_list.size() != 8) {
    throw std::invalid_argument(
        "the cage of a single column needs the 8 corners of one column; it "
        "was given " +
        std::to_string(point_list.size()) + " points");
  }
  point_list_ = cage_common::OrientGroup(point_list, 0, rotate_);
  cage_common::CheckCornerList(point_list_, "the picked column");
  build_ele_ = std::move(build_ele);
  tool_path_ = std::move(tool_path);
  palette_service_ = std::move(palette_service);
  if (!build_ele_) throw std::invalid_argument("the cage needs the palette's parameter set");
  const auto section = cage_common::Measure(point_list_);
  Column_Top_ = section.Top;
  Column_Bottom_ = section.Bottom;
  Column_Height_ = section.Height;
  Column_Width_ = section.Width;
  Column_Length_ = section.Length;
  error_ = false;
  angle_ = cage_common::PlanAngle(point_list_);
  direction_ = cage_common::Direction(point_list_);
  // The input is checked here as in the stacked cage, so that a column the
  // cage must not reinforce is refused whichever cage is chosen.
  check_input();
  prepare_parameter();
}

void Reinforcement::prepare_parameter() {
  cage_common::CopyMaterial(*build_ele_, v_);
  Slab_Above_ = (*build_ele_)["Slab_Above"].Number();
  cage_common::CopyBars(*build_ele_, v_);
  v_.steel_grade = 4;
}

double Reinforcement::SideX() const { return point_list_[0].GetDistance(point_list_[1]); }
double Reinforcement::SideY() const { return point_list_[1].GetDistance(point_list_[2]); }

Placements Reinforcement::Rebars() {
  Placements result = Stirrup();
  for (auto part : {MainRebars(), AddX(), AddY()}) {
    result.insert(result.end(), part.begin(), part.end());
  }
  if (error_) return {};
  return result;
}

Placements Reinforcement::Stirrup() { return cage_common::ColumnStirrups(v_, point_list_, angle_); }

Placements Reinforcement::MainRebars() {
  const auto& C = point_list_;
  Placements result;
  for (auto part :
       {Main_Rebar_Placement(C[0], C[3], 1, 1), Main_Rebar_Placement(C[1], C[2], -1, -1),
        Main_Rebar_Placement(C[2], C[1], -1, -1), Main_Rebar_Placement(C[3], C[0], 1, 1)}) {
    result.insert(result.end(), part.begin(), part.end());
  }
  return result;
}

Placements Reinforcement::AddX() {
  const auto& C = point_list_;
  Placements result =
      Add_Rebar_Placement({C[0], C[1], 1, 1, -1, 1, v_.Add_X_Diameter, v_.Add_X_Number, "X"});
  const auto second =
      Add_Rebar_Placement({C[2], C[3], 1, 1, 1, -1, v_.Add_X_Diameter, v_.Add_X_Number, "X"});
  result.insert(result.end(), second.begin(), second.end());
  return result;
}

Placements Reinforcement::AddY() {
  const auto& C = point_list_;
  Placements result =
      Add_Rebar_Placement({C[1], C[2], -1, -1, -1, 1, v_.Add_Y_Diameter, v_.Add_Y_Number, "Y"});
  const auto second =
      Add_Rebar_Placement({C[3], C[0], 1, 1, 1, -1, v_.Add_Y_Diameter, v_.Add_Y_Number, "Y"});
  result.insert(result.end(), second.begin(), second.end());
  return result;
}

Placements Reinforcement::Main_Rebar_Placement(const Point3D& start_point, const Point3D& end_point,
                                               double dir_x, double dir_y) {
  const double c = v_.Concr_Cover, ds = v_.Main_Stirrup_Diameter, D = v_.Main_Diameter;
  // The corner bar touches the stirrup's corner: its axis c + ds + D/2 from
  // both faces.
  auto placement =
      cage_common::CornerBar({.values = v_,
                              .start_point = start_point,
                              .end_point = end_point,
                              .diameter = D,
                              .Height = geomkit::round_down(Column_Height_ + Slab_Above_ - 50),
                              .number = 1,
                              .Concr_Bottom = c + ds,
                              .Concr_Top = 0,
                              .angle = angle_,
                              .direction = direction_},
                             c + ds + D / 2, dir_x, dir_y, 0);
  placement.SetPositionNumber(2);
  return {placement};
}

Placements Reinforcement::Add_Rebar_Placement(const AddRebarPlacementArgs& a) {
  const double c = v_.Concr_Cover, ds = v_.Main_Stirrup_Diameter, D = v_.Main_Diameter,
               d = a.diameter;
  const double b = c + ds + d / 2;
  const double o = c + ds + D;
  // The bars are spread over the side they serve.
  const double e =
      cage_common::SideBarEndCover(o, a.start_point.GetDistance(a.end_point), a.number, d);
  const bool x_side = a.index == "X";
  return {cage_common::SideBars(
      {.values = v_,
       .start_point = a.start_point,
       .end_point = a.end_point,
       .diameter = d,
       .Height = geomkit::round_down(Column_Height_ + Slab_Above_ - 50),
       .number = a.number,
       .Concr_Bottom = e,
       .Concr_Top = e,
       .angle = angle_,
       .direction = direction_},
      {x_side ? 0 : b, x_side ? b : 0, a.dir_x1, a.dir_y1, a.dir_x2, a.dir_y2})};
}

void Reinforcement::check_input() {
  cage_common::CheckWallRatio(Column_Width_, Column_Length_);
  if (cage_common::CheckMinWidth({Column_Width_, Column_Length_})) error_ = true;
}

void Reinforcement::check_output() {
  const double Asmax = cage_common::MaxSteelArea(Column_Width_, Column_Length_);
  const double steel_area = cage_common::SteelArea(
      v_.Main_Diameter, v_.Add_X_Number, v_.Add_X_Diameter, v_.Add_Y_Number, v_.Add_Y_Diameter);
  if (cage_common::CheckSteelRatio(steel_area, Asmax)) error_ = true;
  cage_common::CheckCover(v_.Exposure, v_.Main_Diameter, v_.Concr_Cover, v_.Main_Stirrup_Diameter);
}

void Reinforcement::Prepare_Parameters() {
  cage_common::WriteSpacings(*build_ele_);
  if (palette_service_) palette_service_->update_palette(-1, false);
}

}  // namespace cage_single
