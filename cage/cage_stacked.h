// cage_stacked: the reinforcement cage of a column that carries another
// column. The lower column's bars continue into the upper one: cranked over
// the slab where the upper bar position is close, run straight on where the
// faces are flush, or end below the slab and are joined by starter bars.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cage/cage_common.h"
#include "host/host.h"

namespace cage_stacked {

using PointList = std::vector<HostGeo::Point3D>;
using Placements = std::vector<HostReinf::BarPlacement>;

struct MainRebarPlacementArgs {
  HostGeo::Point3D point_ref;    // corner of the upper column over this corner
  HostGeo::Point3D point_line1;  // reference side of the lower column for the offsets
  HostGeo::Point3D point_line2;
  HostGeo::Point3D start_point;  // this corner of the lower column's bottom face
  HostGeo::Point3D end_point;    // the neighbouring corner the placement runs towards
  double delta_rot_z;            // degrees added to the plan angle for a cranked bar
  double dir_x1;                 // signs of the first move
  double dir_y1;
  double dir_x2;  // signs of the second move
  double dir_y2;
};

struct AddRebarPlacementArgs {
  HostGeo::Point3D point_ref;
  HostGeo::Point3D point_line1;
  HostGeo::Point3D point_line2;
  HostGeo::Point3D start_point;
  HostGeo::Point3D end_point;
  double delta_rot_z;
  double dir_x1;
  double dir_y1;
  double dir_x2;
  double dir_y2;
  double diameter;        // side bar diameter of the lower column, mm
  double diameter_above;  // side bar diameter of the upper column, mm
  double starter;         // starter length of these bars, mm
  double number;          // bars on this face
  std::string index;      // "X" for the faces along the plan angle, else "Y"
};

class Reinforcement {
 public:
  // `point_list` holds 16 points: the lower column's 8 vertices, then the
  // upper column's, as the host reported them.
  Reinforcement(std::shared_ptr<HostBaseElements::BuildingElement> build_ele,
                std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service,
                HostInput::CoordinateInput& coord_input, std::string tool_path,
                HostUtil::StringTableService& str_table_service, const PointList& point_list);

  Placements Rebars();
  Placements Stirrup();
  // Cross-ties at every link level where side bars need restraint.
  Placements CrossTies();
  Placements MainRebars();
  Placements AddX();
  Placements AddY();
  Placements Main_Rebar_Placement(const MainRebarPlacementArgs& args);
  Placements Add_Rebar_Placement(const AddRebarPlacementArgs& args);
  // [x, y]: x along the line from point_line1 to the foot of the
  // perpendicular from point_ref, y the distance across it, both rounded to
  // 0.01 mm. y is negative only when point_ref lies beyond the line, away
  // from the lower column.
  std::array<double, 2> distance_point_toline(const HostGeo::Point3D& point_ref,
                                              const HostGeo::Point3D& point_line1,
                                              const HostGeo::Point3D& point_line2) const;
  // [delta_x, delta_y, crank_distance]: the offsets from the lower bar's axis
  // to the upper bar's axis along and across the line, and their length plus
  // a clearance of 1.15 bar diameters.
  std::array<double, 3> crank_length(const HostGeo::Point3D& point_ref,
                                     const HostGeo::Point3D& point_line1,
                                     const HostGeo::Point3D& point_line2, double diameter_below,
                                     double diameter_above) const;
  void check_input();
  void check_output();
  // Writes the derived stirrup spacings and zone lengths into the palette.
  void Prepare_Parameters();

  bool error() const { return error_; }
  // What set the error flag, for the line Draw prints: "more than 9 % steel
  // and the link diameter".
  std::string blocked_by() const { return cage_common::JoinLabels(blocked_); }
  bool rotate() const { return rotate_; }
  const PointList& point_list() const { return point_list_; }
  const PointList& Column() const { return Column_; }
  const PointList& Column_above() const { return Column_above_; }
  double Column_Top() const { return Column_Top_; }
  double Column_Bottom() const { return Column_Bottom_; }
  double Column_Height() const { return Column_Height_; }
  double Column_Width() const { return Column_Width_; }
  double Column_Length() const { return Column_Length_; }
  double Column_above_Width() const { return Column_above_Width_; }
  double Column_above_Length() const { return Column_above_Length_; }
  const HostGeo::Angle& angle() const { return angle_; }
  int direction() const { return direction_; }
  double Slab_Above() const { return Slab_Above_; }
  double Main_Starter() const { return Main_Starter_; }
  double AddX_Starter() const { return AddX_Starter_; }
  double AddY_Starter() const { return AddY_Starter_; }
  double Add_Stirrup_Top_Length() const { return v_.Add_Stirrup_Top_Length; }
  double Add_Stirrup_Bot_Length() const { return v_.Add_Stirrup_Bot_Length; }

  // Where the longitudinal bars stand in plan: this column's, and the column
  // above's as its own values and its own cage lay them out.
  const cage_common::SectionLayout& Layout() const { return layout_; }
  const cage_common::SectionLayout& UpperLayout() const { return upper_layout_; }
  // The link levels, from the bottom up.
  const std::vector<cage_common::LinkRun>& LinkRuns();
  const cage_common::BarsFromBelow& BarsFromBelow() const { return below_; }

  // How the bars of a corner or a face go up into the column above: cranked
  // beside the upper column's bars, straight on where they already stand
  // there, or ended below the slab with starters beside the upper bars.
  struct Carried {
    enum class Kind { Cranked, Straight, Starters };
    struct Bars {
      Kind kind = Kind::Starters;
      double diameter = 0;
      double lap = 0;      // length above the upper column's bottom, mm
      double extra = 0;    // starters' lap below the slab lengthened by 8.7.2(3), mm
      double push = 0;     // how far a bar had to move off its place beside the upper bar, mm
      double outside = 0;  // how far it would stand outside this column's links, mm
      std::vector<HostGeo::Point2D> from;  // this column's bars
      std::vector<HostGeo::Point2D> to;    // where the bars carried up stand
    };
    std::array<Bars, 4> corners;  // corner k
    std::array<Bars, 4> faces;    // face f, from corner f to f+1
  };
  const Carried& CarriedUp();

 private:
  using CarriedBars = Carried::Bars;
  void prepare_parameter();
  double StarterLength(double diameter) const;
  cage_common::StirrupZones Zones();
  // The cross-ties, built once from the cage's longitudinal bars (given, or
  // built here).
  const cage_common::CrossTieResult& Ties(const Placements* longitudinal = nullptr);
  // Bars besides the section's own that the links' hooks must keep clear of.
  const std::vector<std::pair<HostGeo::Point2D, double>>& BarsAround();
  // How long the links' hook tails may be, worked out once.
  double HookRoom();

  std::vector<cage_common::Finding> DetailingFindings();
  // Which of the corners 0 to 3 of this column `p` is.
  std::size_t CornerIndex(const HostGeo::Point3D& p) const;
  HostGeo::Point3D LowerCentre() const;
  // The arguments of corner k (0 to 3 counter-clockwise from corner 0).
  MainRebarPlacementArgs CornerArgs(std::size_t k) const;

  bool rotate_ = false;
  PointList Column_;
  PointList Column_above_;
  PointList Column_above_own_;   // as the column above's own cage lays it out
  std::size_t upper_shift_ = 0;  // its corner over corner k is its own k + shift
  PointList point_list_;
  std::shared_ptr<HostBaseElements::BuildingElement> build_ele_;
  std::string tool_path_;
  std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service_;
  double Column_Top_ = 0, Column_Bottom_ = 0, Column_Height_ = 0, Column_Width_ = 0,
         Column_Length_ = 0;
  double Column_above_Top_ = 0, Column_above_Bottom_ = 0, Column_above_Height_ = 0,
         Column_above_Width_ = 0, Column_above_Length_ = 0;
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
  std::string Calculate_Type_;
  double Concr_Cover_Above_ = 0;
  double Main_Diameter_Above_ = 0;
  double Add_X_Number_Above_ = 0;
  double Add_X_Diameter_Above_ = 0;
  double Add_Y_Number_Above_ = 0;
  double Add_Y_Diameter_Above_ = 0;
  double Main_Stirrup_Diameter_Above_ = 0;

  double Slab_Above_ = 0;
  double Main_Starter_ = 0;
  double AddX_Starter_ = 0;
  double AddY_Starter_ = 0;

  cage_common::SectionLayout layout_;
  cage_common::SectionLayout upper_layout_;
  cage_common::BarsFromBelow below_;
  std::optional<std::vector<cage_common::LinkRun>> runs_;
  std::optional<cage_common::CrossTieResult> ties_;
  std::optional<double> hook_room_;
  std::optional<std::vector<std::pair<HostGeo::Point2D, double>>> around_;
  std::optional<Carried> carried_;
};

}  // namespace cage_stacked
