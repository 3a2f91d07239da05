// What the two column cages have in common: reading the picked corners,
// the section's sizes, the stirrup zones, the design checks and the derived
// palette defaults. The single and the stacked cage each call these; they
// share no base class.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/host.h"

namespace cage_common {

using PointList = std::vector<HostGeo::Point3D>;
using Placements = std::vector<HostReinf::BarPlacement>;

// The eight corners of one picked column starting at `s` in `point_list`,
// turned by one corner when the first edge runs steeply (45 < |a| < 135
// degrees, a rounded to one decimal), then brought into the normal order.
// `rotated` tells whether it was turned.
PointList OrientGroup(const PointList& point_list, std::size_t s, bool& rotated);

// Refuses corner lists the cage cannot reinforce: not eight points, corners
// that coincide, a section that is not a rectangle, a top not above the
// bottom. `what` names the column in messages ("the picked column").
void CheckCornerList(const PointList& corners, const std::string& what);

struct Section {
  double Top = 0;     // z of corner 7
  double Bottom = 0;  // z of corner 0
  double Height = 0;
  double Width = 0;   // the shorter side
  double Length = 0;  // the longer side
};
Section Measure(const PointList& corners);

// The plan angle of the edge from corner 0 to corner 1, and the orientation
// flag: 1 when corner 0 lies right of corner 1 (larger x), otherwise -1.
HostGeo::Angle PlanAngle(const PointList& point_list);
int Direction(const PointList& point_list);

// ---------------------------------------------------------------------------
// The palette values both cages copy, and what they derive from them.

struct CageValues {
  std::string Exposure;
  double Concr_Cover = 0;
  int Concr_Grade = 0;
  double Main_Diameter = 0;
  double Add_X_Number = 0;
  double Add_X_Diameter = 0;
  double Add_Y_Number = 0;
  double Add_Y_Diameter = 0;
  double Main_Stirrup_Diameter = 0;
  double Main_Stirrup_Spacing = 0;
  bool Add_Stirrup_Top = false;
  double Add_Stirrup_Top_Length = 0;
  double Add_Stirrup_Top_Spacing = 0;
  bool Add_Stirrup_Bot = false;
  double Add_Stirrup_Bot_Length = 0;
  double Add_Stirrup_Bot_Spacing = 0;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double bending_roller = 4;
  int steel_grade = 4;
};

// Exposure, cover and grade, the first values a cage copies.
void CopyMaterial(HostBaseElements::BuildingElement& build_ele, CageValues& v);
// The bar and stirrup values from the main bar diameter on, then the cover
// set and the bending roller of every bar.
void CopyBars(HostBaseElements::BuildingElement& build_ele, CageValues& v);

// ---------------------------------------------------------------------------
// Stirrups in three zones along the edge of corner 0.

struct StirrupZones {
  // Section of the stirrup: the side from corner 0 to 1 is its width, the
  // side from corner 1 to 2 its height, whichever of them is the shorter.
  double Width;
  double Height;
  double bending_roller;
  int steel_grade;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;
  int Concr_Grade;
  double Main_Diameter;
  double Main_Stirrup_Diameter;
  double Main_Stirrup_Spacing;
  bool Add_Stirrup_Top;
  double& Add_Stirrup_Top_Length;  // set to 0 when the zone is off
  double Add_Stirrup_Top_Spacing;
  bool Add_Stirrup_Bot;
  double& Add_Stirrup_Bot_Length;  // set to 0 when the zone is off
  double Add_Stirrup_Bot_Spacing;
  HostGeo::Point3D bottom_point;  // corner 0
  HostGeo::Point3D top_point;     // corner 4
  HostGeo::Angle angle;
};
// The top zone's placements, then the bottom zone's, then the main zone's.
Placements BuildStirrups(const StirrupZones& zones);
// The stirrups of the column of `corners` (normalised), with its section's
// sides as the stirrup's width and height. A switched-off zone's length in
// `v` becomes 0.
Placements ColumnStirrups(CageValues& v, const PointList& corners, const HostGeo::Angle& angle);

// ---------------------------------------------------------------------------
// Straight bars standing on the column's bottom.

struct StraightBarsArgs {
  const CageValues& values;
  HostGeo::Point3D start_point;
  HostGeo::Point3D end_point;
  double diameter;
  double Height;
  double number;
  double Concr_Bottom;
  double Concr_Top;
  HostGeo::Angle angle;
  int direction;
};
// A corner bar: moved `Move_length` along the plan angle with the signs
// (dir_x, dir_y), lifted by `delta_z`.
HostReinf::BarPlacement CornerBar(const StraightBarsArgs& bars, double Move_length, double dir_x,
                                  double dir_y, double delta_z);
// A row of side bars: moved across (`Move_length1`) then along
// (`Move_length2`) by the two sign pairs, lifted by `delta_z`.
struct SideMove {
  double Move_length1;
  double Move_length2;
  double dir_x1;
  double dir_y1;
  double dir_x2;
  double dir_y2;
  double delta_z = 0;
};
HostReinf::BarPlacement SideBars(const StraightBarsArgs& bars, const SideMove& move);

// ---------------------------------------------------------------------------
// Checks. Each finding is shown in a message box at once; the caller sets
// its error flag from the result.

inline constexpr const char* kWallRatioMessage =
    "Please check again.\nIf h/b > 4 the element is classified as a wall.";
inline constexpr const char* kAboveLargerMessage =
    "Please check again.\nCross section of the column above is bigger than cross section of the "
    "column below!";
inline constexpr const char* kMinWidthMessage =
    "Please check again.\nColumn Width is now smaller than 200";
inline constexpr const char* kSteelRatioMessage =
    "Please check again.\nMax Column Reinforcement Area is 9%! ";
inline constexpr const char* kSpliceRatioMessage =
    "Rebar Ratio in Splice Area must be less than 9%!\nPlease consider to include coupler or "
    "change "
    "starter rebar";
inline constexpr const char* kCoverMessage =
    "Concrete Cover not enough\nPlease consider to change the Concrete Cover or Exposure";

double RoundTo(double value, int decimals);

// Shows the wall message when the section is longer than four times its width.
void CheckWallRatio(double Column_Width, double Column_Length);
// True (and the message shown) when the smallest side, rounded to 0.1 mm, is
// below 200 mm.
bool CheckMinWidth(const std::vector<double>& sides);

// Cross-section area of `count` bars of diameter d, cm2.
double BarArea(double count, double d);
// All longitudinal bars of a section: four corner bars and the side bars on
// both faces of each direction, cm2.
double SteelArea(double Main_Diameter, double Add_X_Number, double Add_X_Diameter,
                 double Add_Y_Number, double Add_Y_Diameter);
// Nine per cent of the section, cm2.
double MaxSteelArea(double Column_Width, double Column_Length);
// True (and the message shown) when the area exceeds the limit.
bool CheckSteelRatio(double steel_area, double Asmax);
// Shows the cover message when the cover to the main bars is short of the
// exposure class's minimum plus its allowance.
void CheckCover(const std::string& Exposure, double Main_Diameter, double Concr_Cover,
                double Main_Stirrup_Diameter);

// ---------------------------------------------------------------------------
// Derived palette values.

// Writes the main and the two additional stirrup spacings derived from the
// palette's main bar diameter.
void WriteSpacings(HostBaseElements::BuildingElement& build_ele);

// Longitudinal bar of a row: the axis `inset` from the face, spread between
// the corner zones `o` over a side of `side_length`; the end cover of the
// placement for `n` bars of diameter `d`.
double SideBarEndCover(double o, double side_length, double n, double d);

}  // namespace cage_common
