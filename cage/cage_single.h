// cage_single: the reinforcement cage of a column with nothing standing on
// it. Its bars run up through the slab above the column and end 50 mm below
// its top face.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cage/cage_common.h"
#include "host/host.h"

namespace cage_single {

using PointList = std::vector<HostGeo::Point3D>;
using Placements = std::vector<HostReinf::BarPlacement>;

struct AddRebarPlacementArgs {
  HostGeo::Point3D start_point;  // corner of the bottom face where the row starts
  HostGeo::Point3D end_point;    // corner towards which it runs
  double dir_x1;                 // signs of the first move
  double dir_y1;
  double dir_x2;  // signs of the second move
  double dir_y2;
  double diameter;    // side bar diameter, mm
  double number;      // bars on this face
  std::string index;  // "X" for the faces along the plan angle, else "Y"
};

class Reinforcement {
 public:
  // `point_list` holds the 8 vertices of the picked column as the host
  // reported them. The palette's values are copied; `build_ele` and
  // `palette_service` are kept for writing derived values back.
  // `coord_input` and `str_table_service` are accepted and not used.
  Reinforcement(std::shared_ptr<HostBaseElements::BuildingElement> build_ele,
                std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service,
                HostInput::CoordinateInput& coord_input, std::string tool_path,
                HostUtil::StringTableService& str_table_service, const PointList& point_list);

  // The whole cage: stirrups, corner bars, X side bars, Y side bars; empty
  // when a check has set the error flag.
  Placements Rebars();
  Placements Stirrup();
  // Cross-ties at every link level where side bars need restraint.
  Placements CrossTies();
  Placements MainRebars();
  Placements AddX();
  Placements AddY();
  Placements Main_Rebar_Placement(const HostGeo::Point3D& start_point,
                                  const HostGeo::Point3D& end_point, double dir_x, double dir_y);
  Placements Add_Rebar_Placement(const AddRebarPlacementArgs& args);
  void check_input();
  void check_output();
  // Writes the derived stirrup spacings into the palette and redraws it.
  void Prepare_Parameters();

  // What the cage found, for the interactor and for checking it.
  bool error() const { return error_; }
  // What set the error flag, for the line Draw prints: "more than 9 % steel
  // and the link diameter".
  std::string blocked_by() const { return cage_common::JoinLabels(blocked_); }
  bool rotate() const { return rotate_; }
  const PointList& point_list() const { return point_list_; }
  const PointList& Column() const { return point_list_; }
  double Column_Top() const { return Column_Top_; }
  double Column_Bottom() const { return Column_Bottom_; }
  double Column_Height() const { return Column_Height_; }
  double Column_Width() const { return Column_Width_; }
  double Column_Length() const { return Column_Length_; }
  const HostGeo::Angle& angle() const { return angle_; }
  int direction() const { return direction_; }
  double Add_Stirrup_Top_Length() const { return v_.Add_Stirrup_Top_Length; }
  double Add_Stirrup_Bot_Length() const { return v_.Add_Stirrup_Bot_Length; }
  // Where the longitudinal bars stand in plan.
  const cage_common::SectionLayout& Layout() const { return layout_; }
  // The link levels, from the bottom up.
  const std::vector<cage_common::LinkRun>& LinkRuns();
  // Bars created before that reach into this column from below.
  const cage_common::BarsFromBelow& BarsFromBelow() const { return below_; }

 private:
  void prepare_parameter();
  cage_common::StirrupZones Zones();
  // The cross-ties, built once from the cage's longitudinal bars (given, or
  // built here).
  const cage_common::CrossTieResult& Ties(const Placements* longitudinal = nullptr);
  // Bars besides the section's own that the links' hooks must keep clear of.
  std::vector<std::pair<HostGeo::Point2D, double>> BarsAround() const;
  // How long the links' hook tails may be, worked out once.
  double HookRoom();

  // The checks of the detailing rules, each a finding.
  std::vector<cage_common::Finding> DetailingFindings();
  // Section side from corner 0 to 1 and from corner 1 to 2.
  double SideX() const;
  double SideY() const;

  bool rotate_ = false;
  PointList point_list_;
  std::shared_ptr<HostBaseElements::BuildingElement> build_ele_;
  std::string tool_path_;
  std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service_;
  double Column_Top_ = 0;
  double Column_Bottom_ = 0;
  double Column_Height_ = 0;
  double Column_Width_ = 0;
  double Column_Length_ = 0;
  bool error_ = false;
  std::vector<std::string> blocked_;
  void Block(const std::string& label) {
    error_ = true;
    blocked_.push_back(label);
  }
  HostGeo::Angle angle_;
  int direction_ = -1;

  // Palette values, and what the cage derives from them.
  cage_common::CageValues v_;
  double Slab_Above_ = 0;
  cage_common::SectionLayout layout_;
  cage_common::BarsFromBelow below_;
  std::optional<std::vector<cage_common::LinkRun>> runs_;
  std::optional<cage_common::CrossTieResult> ties_;
  std::optional<double> hook_room_;
};

}  // namespace cage_single
