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

 private:
  void prepare_parameter();
  double StarterLength(double diameter) const;
  // How far the upper column's face that crosses a row stands in from the
  // row's end corner, measured along the row.
  double InsetAlong(const HostGeo::Point3D& corner, const HostGeo::Point3D& towards) const;
  HostGeo::Point3D LowerCentre() const;
  // Whether a corner bar cranked by (vx, vy), measured against its reference
  // side, keeps clear of the side bars next to its corner.
  bool CrankClearsSideBars(const MainRebarPlacementArgs& m, double vx, double vy) const;
  // The arguments of corner k (0 to 3 counter-clockwise from corner 0).
  MainRebarPlacementArgs CornerArgs(std::size_t k) const;
  // Whether corner bar k is cranked, by how much and which way.
  struct CornerCrank {
    bool cranked = false;
    double kappa = 0;  // mm
    double Z = 0;      // plan direction of the crank, degrees
    // The crank in the corner's frame: across the faces along the plan
    // angle's perpendicular (x) and along the placement line (y), mm.
    double inward_x = 0;
    double inward_y = 0;
  };
  // Where the lower corner bar k stands in the upper column, in plan.
  HostGeo::Point2D CornerUpperPosition(std::size_t k) const;
  HostGeo::Point2D FindCornerUpperPosition(std::size_t k) const;
  mutable std::array<std::optional<HostGeo::Point2D>, 4> corner_upper_;
  CornerCrank DecideCorner(const MainRebarPlacementArgs& m) const;

  bool rotate_ = false;
  PointList Column_;
  PointList Column_above_;
  PointList point_list_;
  std::shared_ptr<HostBaseElements::BuildingElement> build_ele_;
  std::string tool_path_;
  std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service_;
  double Column_Top_ = 0, Column_Bottom_ = 0, Column_Height_ = 0, Column_Width_ = 0,
         Column_Length_ = 0;
  double Column_above_Top_ = 0, Column_above_Bottom_ = 0, Column_above_Height_ = 0,
         Column_above_Width_ = 0, Column_above_Length_ = 0;
  bool error_ = false;
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
};

}  // namespace cage_stacked
