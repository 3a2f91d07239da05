#include "cage/cage_single.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "cage/cage_common.h"
#include "common/geomkit.h"

namespace cage_single {

using HostGeo::Point3D;

Reinforcement::Reinforcement(
    std::shared_ptr<HostBaseElements::BuildingElement> build_ele,
    std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service,
    HostInput::CoordinateInput& coord_input, std::string tool_path,
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
  // Bars created before that stand in the column below and reach into this
  // one: their laps want denser links here.
  below_ = cage_common::FindBarsFromBelow(coord_input.GetInputViewDocument(), point_list_);
  prepare_parameter();
}

void Reinforcement::prepare_parameter() {
  cage_common::CopyMaterial(*build_ele_, v_);
  Slab_Above_ = (*build_ele_)["Slab_Above"].Number();
  cage_common::CopyBars(*build_ele_, v_);
  v_.steel_grade = 4;
  layout_ = cage_common::LayoutSection(
      point_list_, {v_.Concr_Cover, v_.Main_Stirrup_Diameter, v_.Main_Diameter, v_.Add_X_Number,
                    v_.Add_X_Diameter, v_.Add_Y_Number, v_.Add_Y_Diameter});
}

double Reinforcement::SideX() const { return point_list_[0].GetDistance(point_list_[1]); }
double Reinforcement::SideY() const { return point_list_[1].GetDistance(point_list_[2]); }

Placements Reinforcement::Rebars() {
  Placements links = Stirrup();
  Placements longitudinal = cage_common::LongitudinalOf(*this);
  const auto& ties = Ties(&longitudinal).placements;
  if (error_) return {};
  return cage_common::CageList(std::move(links), ties, std::move(longitudinal));
}

cage_common::StirrupZones Reinforcement::Zones() {
  return cage_common::ZonesOf(
      v_, point_list_, angle_,
      cage_common::LapZonesFromBelow(below_, Column_Bottom_, v_, Column_Width_), HookRoom());
}

std::vector<std::pair<HostGeo::Point2D, double>> Reinforcement::BarsAround() const {
  std::vector<std::pair<HostGeo::Point2D, double>> out;
  for (std::size_t i = 0; i < below_.bars.size(); ++i) {
    const auto& top = below_.bars[i].back();
    out.push_back({{top.X(), top.Y()}, below_.diameters[i]});
  }
  return out;
}

double Reinforcement::HookRoom() {
  if (!hook_room_) {
    hook_room_ = cage_common::LinkHookRoom(layout_, v_.Main_Stirrup_Diameter, v_.Main_Diameter,
                                           BarsAround());
  }
  return *hook_room_;
}

const std::vector<cage_common::LinkRun>& Reinforcement::LinkRuns() {
  if (!runs_) runs_ = cage_common::StirrupLevels(Zones());
  return *runs_;
}

Placements Reinforcement::Stirrup() { return cage_common::BuildStirrups(Zones(), LinkRuns()); }

Placements Reinforcement::CrossTies() { return Ties().placements; }

const cage_common::CrossTieResult& Reinforcement::Ties(const Placements* longitudinal) {
  if (ties_) return *ties_;
  const Placements own = longitudinal ? Placements{} : cage_common::LongitudinalOf(*this);
  ties_ =
      cage_common::CageTies(v_, layout_, LinkRuns(), longitudinal ? *longitudinal : own, below_);
  return *ties_;
}

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
  const double D = v_.Main_Diameter;
  // The corner bar touches the inside of the link's bend.
  const double a = layout_.corner_inset;
  auto placement =
      cage_common::CornerBar({.values = v_,
                              .start_point = start_point,
                              .end_point = end_point,
                              .diameter = D,
                              .Height = geomkit::round_down(Column_Height_ + Slab_Above_ - 50),
                              .number = 1,
                              .Concr_Bottom = a - D / 2,
                              .Concr_Top = 0,
                              .angle = angle_,
                              .direction = direction_},
                             a, dir_x, dir_y, 0);
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
  if (cage_common::CheckMinWidth({Column_Width_, Column_Length_})) Block("a width below 200 mm");
}

void Reinforcement::check_output() {
  const bool refused_at_input = error_;
  const double Asmax = cage_common::MaxSteelArea(Column_Width_, Column_Length_);
  const double steel_area = cage_common::SteelArea(
      v_.Main_Diameter, v_.Add_X_Number, v_.Add_X_Diameter, v_.Add_Y_Number, v_.Add_Y_Diameter);
  if (cage_common::CheckSteelRatio(steel_area, Asmax)) Block("more than 9 % steel");
  cage_common::CheckCover(v_.Exposure, v_.Main_Diameter, v_.Concr_Cover, v_.Main_Stirrup_Diameter);
  // A section its input checks refused has no bars worth judging further.
  if (!refused_at_input && cage_common::Report(DetailingFindings(), blocked_)) error_ = true;
}

std::vector<cage_common::Finding> Reinforcement::DetailingFindings() {
  std::vector<cage_common::Finding> out;
  cage_common::CheckClearSpacing(layout_, v_.Aggregate_Size, out);
  cage_common::CheckLinkDiameter(v_.Main_Stirrup_Diameter, cage_common::HeldBars(v_, below_), out);
  cage_common::CheckTieRoom(layout_, v_, LinkRuns(), out);
  cage_common::CheckTieClashes(Ties().clashes, out);
  cage_common::CheckMinimumSteel(
      cage_common::SteelArea(v_.Main_Diameter, v_.Add_X_Number, v_.Add_X_Diameter, v_.Add_Y_Number,
                             v_.Add_Y_Diameter),
      Column_Width_, Column_Length_, out);
  cage_common::CheckRestraint(layout_, v_, out);
  cage_common::CheckBarsFromBelow(below_, layout_, v_, out);
  std::vector<cage_common::LinkZone> laps;
  if (below_.lap_diameter > 0) laps.push_back({Column_Bottom_, below_.lap_top, 0});
  cage_common::CheckLinkZones({.values = v_,
                               .smallest_bar = cage_common::SmallestBar(v_),
                               .least_dimension = Column_Width_,
                               .larger_dimension = Column_Length_,
                               .laps_needing_links = laps,
                               .runs = LinkRuns()},
                              out);
  // Nothing stands on the column: its bars are anchored in the slab above,
  // as far up as its top cover lets them reach.
  const double reach = geomkit::round_down(Column_Height_ + Slab_Above_ - 50) - Column_Height_;
  const struct {
    const char* what;
    double d;
    bool present;
  } groups[] = {{"corner bars", v_.Main_Diameter, true},
                {"side bars of the X faces", v_.Add_X_Diameter, v_.Add_X_Number > 0},
                {"side bars of the Y faces", v_.Add_Y_Diameter, v_.Add_Y_Number > 0}};
  double worst = 0;
  std::string worst_text;
  for (const auto& g : groups) {
    if (!g.present) continue;
    const double need = std::stod(
        geomkit::anchorage_length_for_tension(tool_path_, std::trunc(g.d), v_.Concr_Grade));
    if (need - reach > worst + 1e-9) {
      worst = need - reach;
      worst_text = "the " + cage_common::Mm(g.d) + " mm " + g.what + " need " +
                   cage_common::Mm(need) + " mm";
    }
  }
  if (worst > 0) {
    out.push_back(cage_common::Warning(
        "this cage carries no bars into a column above, so its bars are anchored in the " +
        cage_common::Mm(Slab_Above_) + " mm slab above: they reach " +
        cage_common::Mm(std::max(0.0, reach)) + " mm into it (to 50 mm below its top), and " +
        worst_text + " (anchorage length for tension, EN 1992-1-1 8.4), " + cage_common::Mm(worst) +
        " mm short. Bend them into the slab or thicken it."));
  }
  return out;
}

void Reinforcement::Prepare_Parameters() {
  auto& p = *build_ele_;
  cage_common::CageValues palette;
  cage_common::CopyBars(p, palette);
  cage_common::WriteSpacings(
      p, cage_common::MainSpacingLimit(palette.Main_Diameter, cage_common::SmallestBar(palette),
                                       Column_Width_));
  // Denser links within the column's larger side of each end.
  p["Add_Stirrup_Top_Length"].SetValue(geomkit::round_up(Column_Length_));
  p["Add_Stirrup_Bot_Length"].SetValue(geomkit::round_up(Column_Length_));
  if (palette_service_) palette_service_->update_palette(-1, false);
}

}  // namespace cage_single
