// pierplace: the straight and cranked bars of a column.
//
// Each function builds one bar shape at the origin, moves it into its place
// in the column's section with geomkit's moves, and repeats it a given number
// of times along a line between two corner points of the column. The
// functions keep no state; results belong to the caller.
//
// Units: lengths, covers, diameters and move offsets in mm; X_Angel, Y_Angle
// and Z_Angle in degrees; `angle` (the plan angle handed to the moves) in
// radians. `direction` is the cage's orientation flag: exactly 1 picks one
// order of moves, every other value the other. Every placement carries
// position number 2.
//
// Nothing is checked here: covers longer than the line, a count of 0 or
// negative lengths go to the host as they are, and the host's errors
// (std::invalid_argument) reach the caller unchanged.
#pragma once

#include <vector>

#include "host/geo.h"
#include "host/reinf.h"
#include "shapes/shapekit.h"

namespace pierplace {

// The 2D polyline of a cranked bar, x across the crank and y along the bar:
// straight up for |length1|, sideways by crank_distance2 while rising
// crank_distance1, then straight again for length2. All values in mm; only
// length1 is taken as an absolute value.
std::vector<HostGeo::Point2D> crank_shape(double length1, double crank_distance1,
                                          double crank_distance2, double length2);

struct CrankCountMoveArgs {
  double bending_roller;  // mandrel = bending_roller x diameter
  int steel_grade;
  double Concr_Cover;  // mm kept free at both ends of the line
  int Concr_Grade;     // palette grade value, 1 = C12/15
  // The bar's polyline, usually from crank_shape.
  std::vector<HostGeo::Point2D> points;
  HostGeo::Point3D point1;  // start of the line
  HostGeo::Point3D point2;  // end of the line
  double diameter;          // mm
  double X_Angel;           // degrees
  double Y_Angle;           // degrees
  double Z_Angle;           // degrees
  double Number;            // bars on the line
  double Move_length1;      // mm, first move
  double Move_length2;      // mm, second move
  HostGeo::Angle angle;     // plan angle, radians
  double dir_x;             // sign factors of the first move
  double dir_y;
  double delta_x;  // mm, offsets of the first move
  double delta_y;
  double delta_z;
  double dir_x2;  // sign factors of the second move
  double dir_y2;
  double delta_x2;  // mm, offsets of the second move
  double delta_y2;
  double delta_z2;
  double direction;  // 1: across then along the plan angle; otherwise along then across
};

// Cranked bars from `points`, moved twice, placed by count. The list holds
// one placement.
std::vector<HostReinf::BarPlacement> Crank_Count_Move(const CrankCountMoveArgs& args);

// Straight bars of length `Height`, moved once (across the plan angle when
// direction is 1, along it otherwise), placed by count from point1 to point2.
// Unlike shapekit's row functions the bar keeps `concrete_cover_props`;
// `Concr_Cover` is not used.
HostReinf::BarPlacement Longit_Count_Move(const shapekit::LongitCountMoveArgs& args);

struct LongitCountMove2directArgs {
  double bending_roller;
  int steel_grade;
  // Covers of the bar itself.
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm, not used
  int Concr_Grade;
  HostGeo::Point3D point1;
  HostGeo::Point3D point2;
  double diameter;       // mm
  double Height;         // bar length, mm
  double X_Angel;        // degrees
  double Y_Angle;        // degrees
  double Z_Angle;        // degrees
  double Number;         // bars on the line
  double Concr_Bottom;   // mm kept free at point1
  double Concr_Top;      // mm kept free at point2
  double Move_length1;   // mm, first move
  double Move_length2;   // mm, second move
  HostGeo::Angle angle;  // plan angle, radians
  double dir_x1;         // sign factors of the first move
  double dir_y1;
  double dir_x2;  // sign factors of the second move
  double dir_y2;
  double delta_x;    // mm, added by both moves
  double delta_y;    // mm, added by both moves
  double delta_z;    // mm, added by the first move only
  double direction;  // 1: across then along the plan angle; otherwise along then across
};

// Straight bars moved twice, once in each plan direction, placed by count.
HostReinf::BarPlacement Longit_Count_Move_2direct(const LongitCountMove2directArgs& args);

struct LongitArgs {
  double bending_roller;
  int steel_grade;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm, not used
  int Concr_Grade;
  HostGeo::Point3D point1;  // first side: point1 -> point2
  HostGeo::Point3D point2;
  HostGeo::Point3D point3;  // opposite side: point3 -> point4
  HostGeo::Point3D point4;
  double diameter;       // mm
  double Length;         // bar length before rounding up to 50 mm, mm
  HostGeo::Angle angle;  // plan angle, radians
  double Concr_Bottom;   // mm
  double Concr_Top;      // mm
  double Move_length;    // mm
  double direction;      // as for Longit_Count_Move
};

// Two bars on each of two opposite sides: upright bars of Length rounded up
// to 50 mm, each moved by Move_length as Longit_Count_Move does, with signs
// (1, 1) on the first side and (-1, -1) on the opposite one. Returns
// [first side, opposite side].
std::vector<HostReinf::BarPlacement> Longit(const LongitArgs& args);

}  // namespace pierplace
