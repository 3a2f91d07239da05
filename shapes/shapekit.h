// shapekit: bar shapes turned into rows of bars.
//
// Each function builds one host bending shape at the origin, optionally moves
// it into its place in the section, and repeats it along a line from a start
// point to an end point, by count or by spacing. The functions keep no state;
// every call returns new host objects that the caller owns.
//
// Units: lengths, covers, diameters, spacings and move offsets in mm;
// X_Angel, Y_Angle and Z_Angle in degrees; `angle` (the plan angle handed to
// the moves) in radians. Every placement carries position number 2; a caller
// that needs another number sets it on the result.
//
// Long argument lists are one struct each; the field names and their order
// are the interface, so call sites read as named calls:
//   shapekit::Longit_Count_Move({.bending_roller = 4, .steel_grade = 4, ...});
// No field has a default: leaving one out is a compile-time warning.
//
// Nothing is checked here. Bad input (a zero-length line, a negative or
// non-whole count, a spacing <= 0, NaN lengths, more bars than a placement
// may hold) is reported by the host builders as std::invalid_argument; an
// index outside a point list is std::out_of_range.
#pragma once

#include <cstddef>
#include <vector>

#include "host/geo.h"
#include "host/reinf.h"

namespace shapekit {

// ---------------------------------------------------------------------------
// Straight longitudinal bars.
//
// The row functions always build their bar with zero cover on every side:
// `concrete_cover_props` and `Concr_Cover` are accepted and ignored, so the
// bar is exactly `Height` long. The cover along the row is `Concr_Bottom` at
// its start and `Concr_Top` at its end.

struct LongitCountArgs {
  double bending_roller;  // mandrel = bending_roller x diameter
  int steel_grade;
  // Ignored: the bar's own cover is always zero.
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;       // mm, ignored
  int Concr_Grade;          // palette grade value, 1 = C12/15
  HostGeo::Point3D point1;  // start of the row
  HostGeo::Point3D point2;  // end of the row
  double diameter;          // mm
  double Height;            // bar length, mm
  double X_Angel;           // degrees
  double Y_Angle;           // degrees
  double Z_Angle;           // degrees
  double Number;            // bars in the row, a whole number >= 0
  double Concr_Bottom;      // mm kept free at point1
  double Concr_Top;         // mm kept free at point2
};

// A row of `Number` straight bars from point1 to point2.
HostReinf::BarPlacement Longit_Count(const LongitCountArgs& args);

struct LongitCountMoveArgs {
  double bending_roller;
  int steel_grade;
  // Ignored: the bar's own cover is always zero.
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm, ignored
  int Concr_Grade;
  HostGeo::Point3D point1;
  HostGeo::Point3D point2;
  double diameter;       // mm
  double Height;         // bar length, mm
  double X_Angel;        // degrees
  double Y_Angle;        // degrees
  double Z_Angle;        // degrees
  double Number;         // bars in the row
  double Concr_Bottom;   // mm
  double Concr_Top;      // mm
  double Move_length;    // mm along (or across) the plan angle
  HostGeo::Angle angle;  // plan angle, radians
  double dir_x;          // sign factor of the x part of the move
  double dir_y;          // sign factor of the y part of the move
  double delta_x;        // mm, added unscaled
  double delta_y;        // mm, added unscaled
  double delta_z;        // mm, added unscaled
  double direction;      // accepted for the family's sake; this function always moves parallel
};

// As Longit_Count, with the bar first moved by geomkit::Move_parallel,
// whatever `direction` holds.
HostReinf::BarPlacement Longit_Count_Move(const LongitCountMoveArgs& args);

struct LongitSpacingMoveArgs {
  double bending_roller;
  int steel_grade;
  // Ignored: the bar's own cover is always zero.
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm, ignored
  int Concr_Grade;
  // The row runs from point_list[index1] to point_list[index2].
  std::vector<HostGeo::Point3D> point_list;
  double diameter;  // mm
  double Height;    // bar length, mm
  double X_Angel;   // degrees
  double Y_Angle;   // degrees
  double Z_Angle;   // degrees
  std::size_t index1;
  std::size_t index2;
  double Spacing;        // largest gap between bars, mm
  double Concr_Bottom;   // mm
  double Concr_Top;      // mm
  double Move_length;    // mm
  HostGeo::Angle angle;  // plan angle, radians
  double dir_x;
  double dir_y;
  double delta_x;    // mm
  double delta_y;    // mm
  double delta_z;    // mm
  double direction;  // non-zero: Move_perpendicular; zero: Move_parallel
};

// A row of straight bars by spacing between two points of a list, the bar
// first moved across the plan angle (direction non-zero) or along it.
HostReinf::BarPlacement Longit_Spacing_Move(const LongitSpacingMoveArgs& args);

// A straight bar along local x from the origin to (length, 0), with 90-degree
// anchorages, rotated into the model by `model_angles`. A hook value of 0
// gives the host's anchorage hook, a positive value a hook leg of that many
// mm, a negative value no hook. The covers shorten the bar by
// `concrete_cover_props.left` at its start and `.right` at its end;
// `.bottom` is the side cover of the bar. A shape the host cannot build (a
// zero length, say) is returned invalid and unrotated, not thrown.
HostReinf::BendingShape create_longitudinal_shape_with_hooks(
    double length, const HostGeo::RotationAngles& model_angles,
    const HostReinf::ReinforcementShapeProperties& shape_props,
    const HostReinf::ConcreteCoverProperties& concrete_cover_props, double start_hook = 0,
    double end_hook = 0);

// ---------------------------------------------------------------------------
// Stirrups.
//
// An open stirrup is U-shaped in the section [0, Width] x [0, Length +
// 2 Concr_Cover], open at the far end; a closed stirrup fills [0, Width] x
// [0, Length]. The host keeps `concrete_cover_props` from each side of the
// section. Rows of stirrups run from point1 to point2 by spacing unless
// stated otherwise.

struct OpenStirrupArgs {
  double bending_roller;
  int steel_grade;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm; lengthens the second leg dimension by twice its value
  int Concr_Grade;
  HostGeo::Point3D point1;
  HostGeo::Point3D point2;
  double diameter;      // mm
  double Width;         // first leg dimension, mm
  double Length;        // second leg dimension, mm
  double X_Angel;       // degrees
  double Y_Angle;       // degrees
  double Z_Angle;       // degrees
  double Spacing;       // mm
  double Concr_Bottom;  // mm
  double Concr_Top;     // mm
};

// A row of open stirrups without hooks.
HostReinf::BarPlacement OpenStirrup(const OpenStirrupArgs& args);

struct OpenStirrupWithHookArgs {
  double bending_roller;
  int steel_grade;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm
  int Concr_Grade;
  HostGeo::Point3D point1;
  HostGeo::Point3D point2;
  double diameter;      // mm
  double Width;         // mm
  double Length;        // mm
  double X_Angel;       // degrees
  double Y_Angle;       // degrees
  double Z_Angle;       // degrees
  double Spacing;       // mm
  double Concr_Bottom;  // mm
  double Concr_Top;     // mm
  double hook_length1;  // mm, at the start, including one bar diameter
  double hook_length2;  // mm, at the end, including one bar diameter
  double hook_angle1;   // degrees
  double hook_angle2;   // degrees
};

// A row of open stirrups with hooks. The hook lengths count the bend, so the
// straight legs handed to the host are one bar diameter shorter.
HostReinf::BarPlacement OpenStirrup_withHook(const OpenStirrupWithHookArgs& args);

struct OpenStirrupByCountArgs {
  double bending_roller;
  int steel_grade;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm
  int Concr_Grade;
  // The row runs from point_list[index1] to point_list[index2].
  std::vector<HostGeo::Point3D> point_list;
  double diameter;  // mm
  double Width;     // mm
  double Length;    // mm
  double X_Angel;   // degrees
  double Y_Angle;   // degrees
  double Z_Angle;   // degrees
  std::size_t index1;
  std::size_t index2;
  double Number;        // stirrups in the row
  double Concr_Bottom;  // mm
  double Concr_Top;     // mm
};

// A row of `Number` open stirrups between two points of a list.
HostReinf::BarPlacement OpenStirrupbyCount(const OpenStirrupByCountArgs& args);

struct OpenStirrupMoveArgs {
  double bending_roller;
  int steel_grade;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm
  int Concr_Grade;
  HostGeo::Point3D point1;
  HostGeo::Point3D point2;
  double diameter;       // mm
  double Width;          // mm
  double Length;         // mm
  double X_Angel;        // degrees
  double Y_Angle;        // degrees
  double Z_Angle;        // degrees
  double Spacing;        // mm
  double Concr_Bottom;   // mm
  double Concr_Top;      // mm
  double Move_length;    // mm
  HostGeo::Angle angle;  // plan angle, radians
  double dir_x;
  double dir_y;
  double delta_x;    // mm
  double delta_y;    // mm
  double delta_z;    // mm
  double direction;  // any non-zero value counts as true
};
using OpenStirrupMoveHorArgs = OpenStirrupMoveArgs;

// A row of open stirrups, the stirrup first moved by Move_perpendicular when
// `direction` is non-zero, by Move_parallel when it is zero.
HostReinf::BarPlacement OpenStirrup_Move(const OpenStirrupMoveArgs& args);
// The same with the moves exchanged: Move_parallel when `direction` is
// non-zero, Move_perpendicular when it is zero.
HostReinf::BarPlacement OpenStirrup_Move_Hor(const OpenStirrupMoveHorArgs& args);

struct CloseStirrupArgs {
  double bending_roller;
  int steel_grade;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Hook_Length_Start;  // mm
  double Hook_Angle_Start;   // degrees
  double Hook_Length_End;    // mm
  double Hook_Angle_End;     // degrees
  int Concr_Grade;
  HostGeo::Point3D point1;
  HostGeo::Point3D point2;
  double diameter;      // mm
  double Width;         // mm
  double Length;        // mm
  double X_Angel;       // degrees
  double Y_Angle;       // degrees
  double Z_Angle;       // degrees
  double Spacing;       // mm
  double Concr_Bottom;  // mm
  double Concr_Top;     // mm
};

// A row of closed column stirrups with the given hooks.
HostReinf::BarPlacement CloseStirrup(const CloseStirrupArgs& args);

struct CloseStirrupMoveArgs {
  double bending_roller;
  int steel_grade;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Hook_Length_Start;  // mm
  double Hook_Angle_Start;   // degrees
  double Hook_Length_End;    // mm
  double Hook_Angle_End;     // degrees
  int Concr_Grade;
  HostGeo::Point3D point1;
  HostGeo::Point3D point2;
  double diameter;       // mm
  double Width;          // mm
  double Length;         // mm
  double X_Angel;        // degrees
  double Y_Angle;        // degrees
  double Z_Angle;        // degrees
  double Spacing;        // mm
  double Concr_Bottom;   // mm
  double Concr_Top;      // mm
  double Move_length;    // mm
  HostGeo::Angle angle;  // plan angle, radians
  double dir_x;
  double dir_y;
  double delta_x;    // mm
  double delta_y;    // mm
  double delta_z;    // mm
  double direction;  // non-zero: Move_perpendicular; zero: Move_parallel
};

// As CloseStirrup, the stirrup first moved as for OpenStirrup_Move.
HostReinf::BarPlacement CloseStirrup_Move(const CloseStirrupMoveArgs& args);

}  // namespace shapekit
