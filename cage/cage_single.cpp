#include "cage/cage_single.h"

#include <stdexcept>

#include "cage/cage_common.h"
#include "common/geomkit.h"
#include "placement/pierplace.h"
#include "shapes/shapekit.h"

namespace cage_single {

using HostGeo::Point3D;

Reinforcement::Reinforcement(
    std::shared_ptr<HostBaseElements::BuildingElement> build_ele,
    std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service,
    HostInput::CoordinateInput& /*coord_input*/, std::string tool_path,
    HostUtil::StringTableService& /*str_table_service*/, const PointList& point_list) {
  if (point_list.size() != 8) {
    throw std::invalid_argument("the cage of a single column needs the 8 corners of one column; it "
                                "was given " + std::to_string(point_list.size()) + " points");
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
  auto& p = *build_ele_;
  Exposure_ = p["Exposure"].Text();
  Concr_Cover_ = p["Concr_Cover"].Number();
  Concr_Grade_ = static_cast<int>(p["Concr_Grade"].Integer());
  Slab_Above_ = p["Slab_Above"].Number();
  Main_Diameter_ = p["Main_Diameter"].Number();
  Add_X_Number_ = static_cast<double>(p["Add_X_Number"].Integer());
  Add_X_Diameter_ = p["Add_X_Diameter"].Number();
  Add_Y_Number_ = static_cast<double>(p["Add_Y_Number"].Integer());
  Add_Y_Diameter_ = p["Add_Y_Diameter"].Number();
  Main_Stirrup_Diameter_ = p["Main_Stirrup_Diameter"].Number();
  Main_Stirrup_Spacing_ = p["Main_Stirrup_Spacing"].Number();
  Add_Stirrup_Top_ = p["Add_Stirrup_Top"].Switch();
  Add_Stirrup_Top_Length_ = p["Add_Stirrup_Top_Length"].Number();
  Add_Stirrup_Top_Spacing_ = p["Add_Stirrup_Top_Spacing"].Number();
  Add_Stirrup_Bot_ = p["Add_Stirrup_Bot"].Switch();
  Add_Stirrup_Bot_Length_ = p["Add_Stirrup_Bot_Length"].Number();
  Add_Stirrup_Bot_Spacing_ = p["Add_Stirrup_Bot_Spacing"].Number();
  concrete_cover_props_ = HostReinf::ConcreteCoverProperties::all(Concr_Cover_);
  bending_roller_ = 4;
  steel_grade_ = 4;
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

Placements Reinforcement::Stirrup() {
  return cage_common::BuildStirrups({
      .Width = SideX(),
      .Height = SideY(),
      .bending_roller = bending_roller_,
      .steel_grade = steel_grade_,
      .concrete_cover_props = concrete_cover_props_,
      .Concr_Cover = Concr_Cover_,
      .Concr_Grade = Concr_Grade_,
      .Main_Diameter = Main_Diameter_,
      .Main_Stirrup_Diameter = Main_Stirrup_Diameter_,
      .Main_Stirrup_Spacing = Main_Stirrup_Spacing_,
      .Add_Stirrup_Top = Add_Stirrup_Top_,
      .Add_Stirrup_Top_Length = Add_Stirrup_Top_Length_,
      .Add_Stirrup_Top_Spacing = Add_Stirrup_Top_Spacing_,
      .Add_Stirrup_Bot = Add_Stirrup_Bot_,
      .Add_Stirrup_Bot_Length = Add_Stirrup_Bot_Length_,
      .Add_Stirrup_Bot_Spacing = Add_Stirrup_Bot_Spacing_,
      .bottom_point = point_list_[0],
      .top_point = point_list_[4],
      .angle = angle_,
  });
}

Placements Reinforcement::MainRebars() {
  const auto& C = point_list_;
  Placements result;
  for (auto part : {Main_Rebar_Placement(C[0], C[3], 1, 1), Main_Rebar_Placement(C[1], C[2], -1, -1),
                    Main_Rebar_Placement(C[2], C[1], -1, -1), Main_Rebar_Placement(C[3], C[0], 1, 1)}) {
    result.insert(result.end(), part.begin(), part.end());
  }
  return result;
}

Placements Reinforcement::AddX() {
  const auto& C = point_list_;
  Placements result = Add_Rebar_Placement({C[0], C[1], 1, 1, -1, 1, Add_X_Diameter_, Add_X_Number_, "X"});
  const auto second = Add_Rebar_Placement({C[2], C[3], 1, 1, 1, -1, Add_X_Diameter_, Add_X_Number_, "X"});
  result.insert(result.end(), second.begin(), second.end());
  return result;
}

Placements Reinforcement::AddY() {
  const auto& C = point_list_;
  Placements result = Add_Rebar_Placement({C[1], C[2], -1, -1, -1, 1, Add_Y_Diameter_, Add_Y_Number_, "Y"});
  const auto second = Add_Rebar_Placement({C[3], C[0], 1, 1, 1, -1, Add_Y_Diameter_, Add_Y_Number_, "Y"});
  result.insert(result.end(), second.begin(), second.end());
  return result;
}

Placements Reinforcement::Main_Rebar_Placement(const Point3D& start_point, const Point3D& end_point,
                                               double dir_x, double dir_y) {
  const double c = Concr_Cover_, ds = Main_Stirrup_Diameter_, D = Main_Diameter_;
  auto placement = shapekit::Longit_Count_Move({
      .bending_roller = bending_roller_,
      .steel_grade = steel_grade_,
      .concrete_cover_props = concrete_cover_props_,
      .Concr_Cover = Concr_Cover_,
      .Concr_Grade = Concr_Grade_,
      .point1 = start_point,
      .point2 = end_point,
      .diameter = D,
      .Height = geomkit::round_down(Column_Height_ + Slab_Above_ - 50),
      .X_Angel = 0,
      .Y_Angle = 270,
      .Z_Angle = 0,
      .Number = 1,
      .Concr_Bottom = c + ds,
      .Concr_Top = 0,
      .Move_length = c + ds + D / 2,
      .angle = angle_,
      .dir_x = dir_x,
      .dir_y = dir_y,
      .delta_x = 0,
      .delta_y = 0,
      .delta_z = 0,
      .direction = static_cast<double>(direction_),
  });
  placement.SetPositionNumber(2);
  return {placement};
}

Placements Reinforcement::Add_Rebar_Placement(const AddRebarPlacementArgs& a) {
  const double c = Concr_Cover_, ds = Main_Stirrup_Diameter_, D = Main_Diameter_, d = a.diameter;
  const double b = c + ds + d / 2;
  const double o = c + ds + D;
  // The bars are spread over the side they serve.
  const double e = cage_common::SideBarEndCover(o, a.start_point.GetDistance(a.end_point), a.number, d);
  const bool x_side = a.index == "X";
  return {pierplace::Longit_Count_Move_2direct({
      .bending_roller = bending_roller_,
      .steel_grade = steel_grade_,
      .concrete_cover_props = HostReinf::ConcreteCoverProperties::all(0),
      .Concr_Cover = 0,
      .Concr_Grade = Concr_Grade_,
      .point1 = a.start_point,
      .point2 = a.end_point,
      .diameter = d,
      .Height = geomkit::round_down(Column_Height_ + Slab_Above_ - 50),
      .X_Angel = 0,
      .Y_Angle = 270,
      .Z_Angle = 0,
      .Number = a.number,
      .Concr_Bottom = e,
      .Concr_Top = e,
      .Move_length1 = x_side ? 0 : b,
      .Move_length2 = x_side ? b : 0,
      .angle = angle_,
      .dir_x1 = a.dir_x1,
      .dir_y1 = a.dir_y1,
      .dir_x2 = a.dir_x2,
      .dir_y2 = a.dir_y2,
      .delta_x = 0,
      .delta_y = 0,
      .delta_z = 0,
      .direction = static_cast<double>(direction_),
  })};
}

void Reinforcement::check_input() {
  cage_common::CheckWallRatio(Column_Width_, Column_Length_);
  if (cage_common::CheckMinWidth({Column_Width_, Column_Length_})) error_ = true;
}

void Reinforcement::check_output() {
  const double Asmax = cage_common::MaxSteelArea(Column_Width_, Column_Length_);
  const double steel_area = cage_common::SteelArea(Main_Diameter_, Add_X_Number_, Add_X_Diameter_,
                                                   Add_Y_Number_, Add_Y_Diameter_);
  if (cage_common::CheckSteelRatio(steel_area, Asmax)) error_ = true;
  cage_common::CheckCover(Exposure_, Main_Diameter_, Concr_Cover_, Main_Stirrup_Diameter_);
}

void Reinforcement::Prepare_Parameters() {
  cage_common::WriteSpacings(*build_ele_);
  if (palette_service_) palette_service_->update_palette(-1, false);
}

}  // namespace cage_single
