// placekit: closed column stirrups, hooked straight bars and mesh sheets,
// each placed once along a line.
//
// The functions keep no state. The bar functions return a new list holding
// their one placement; the mesh function appends to the list it is given.
//
// Units: lengths, covers, diameters and spacings in mm; hook angles in
// degrees; `angle` (the plan angle handed to the moves) in radians.
// `rotation` turns the shape from its local frame into the model. Every bar
// placement carries position number 2 and is laid out by spacing.
//
// Nothing is checked here; the host's errors (std::invalid_argument for a
// zero-length line, a spacing <= 0, NaN, too many bars, an unknown mesh
// type) reach the caller unchanged.
#pragma once

#include <vector>

#include "host/geo.h"
#include "host/reinf.h"

namespace placekit {

struct CloseStirrupArgs {
  double bending_roller;  // mandrel = bending_roller x diameter
  int steel_grade;
  // Kept from each side of the section.
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;                // mm, not used
  int Concr_Grade;                   // palette grade value, 1 = C12/15
  double Spacing;                    // largest gap between stirrups, mm
  HostGeo::Point3D point1;           // start of the row
  HostGeo::Point3D point2;           // end of the row
  double diameter;                   // mm
  double Width;                      // section, local x, mm
  double Height;                     // section, local y, mm
  HostGeo::RotationAngles rotation;  // local frame into the model, degrees
  double Concr_Bottom;               // mm kept free at point1
  double Concr_Top;                  // mm kept free at point2
  double Hook_Length;                // mm, the same at both ends
  double Hook_Angle;                 // degrees, the same at both ends
};

// Closed column stirrups of the section [0, Width] x [0, Height], one hook at
// each end, placed by spacing from point1 to point2. The list holds one
// placement.
std::vector<HostReinf::BarPlacement> Close_Stirrup(const CloseStirrupArgs& args);

struct LongHookMovePerpArgs {
  double bending_roller;
  int steel_grade;
  // The bar's own covers.
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  double Concr_Cover;  // mm, not used
  int Concr_Grade;
  double Spacing;  // mm
  HostGeo::Point3D point1;
  HostGeo::Point3D point2;
  double diameter;                   // mm
  double Length;                     // bar length, mm
  HostGeo::RotationAngles rotation;  // local frame into the model, degrees
  HostGeo::Angle angle;              // plan angle of the move, radians
  double Concr_Bottom;               // mm
  double Concr_Top;                  // mm
  double Move_Length;                // mm
  double Hook_Length;                // mm, the same at both ends
  double Hook_Angle;                 // degrees, the same at both ends
};
using LongHookMoveParaArgs = LongHookMovePerpArgs;

// A straight bar with the same hook at both ends, moved once by Move_Length
// across the plan angle (signs 1, 1, no offsets), placed by spacing. The
// list holds one placement.
std::vector<HostReinf::BarPlacement> Long_hook_Move_perp(const LongHookMovePerpArgs& args);
// The same, moved along the plan angle.
std::vector<HostReinf::BarPlacement> Long_hook_Move_para(const LongHookMoveParaArgs& args);

struct CreateMeshPlacementByPointsArgs {
  // A mesh sheet, e.g. BendingShape::Mesh("Q188A").
  HostReinf::BendingShape shape;
  HostGeo::Point3D from_point;
  HostGeo::Point3D to_point;
  int position;                 // position number of the mesh
  double concrete_cover_left;   // mm from from_point to the sheet's start
  double concrete_cover_right;  // mm; does not limit the sheet
  // Receives the mesh.
  std::vector<HostReinf::MeshPlacement>& model_ele_list;
};

// Places one sheet of `shape` along the line from from_point towards
// to_point, starting concrete_cover_left along it and running the sheet's
// first dimension, whatever the line's length. Writes the sheet's two
// dimensions to standard output as one line ("<first> <second>"), appends
// the placement to model_ele_list and returns that list. On an error nothing
// is appended.
std::vector<HostReinf::MeshPlacement>& create_mesh_placement_by_points(
    const CreateMeshPlacementByPointsArgs& args);

}  // namespace placekit
