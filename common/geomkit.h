// geomkit: the geometry and design-code helpers every other module uses.
//
// Points are host 3D points read through Values(); new points are always new
// values, no function changes a point it was given. Lengths are millimetres.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "host/geo.h"
#include "host/reinf.h"

namespace geomkit {

using PointList = std::vector<HostGeo::Point3D>;

// ---------------------------------------------------------------------------
// Moving a bar shape by a vector built from a length and a plan angle.

struct MoveArgs {
  HostReinf::BendingShape& Shape;
  double length;
  HostGeo::Angle angle;  // plan angle, used in radians
  double dir_x = 1;
  double dir_y = 1;
  double delta_x = 0;
  double delta_y = 0;
  double delta_z = 0;
};

// Moves by (length cos(angle) dir_x + delta_x, length sin(angle) dir_y + delta_y, delta_z).
void move(const MoveArgs& args);
// The same as move.
void Move_parallel(const MoveArgs& args);
// Moves by (length sin(angle) dir_x + delta_x, length cos(angle) dir_y + delta_y, delta_z).
void Move_perpendicular(const MoveArgs& args);

// The plan point `distance` from Point1 towards Point2, as [x, y]. Two points
// of the same plan position are an error.
std::array<double, 2> Getpointfrom2points(const HostGeo::Point3D& Point1,
                                          const HostGeo::Point3D& Point2, double distance);

// ---------------------------------------------------------------------------
// Corner lists: eight points of a box, positions 0 to 3 the bottom face in
// order around it, 4 to 7 the top face, 4+i above i.

PointList get_pnts_fr_3_dimens(double length, double width, double height,
                               const HostGeo::Point3D& input_point);
HostGeo::Point3D Point_from_point(const HostGeo::Point3D& point, double z);
// Normalises the order of the bottom face (see corners.cpp); returns the list
// unchanged when no change is needed. Fewer than eight points is an error.
PointList Rearrange(const PointList& point_list);
// The corner list starting at `index` of `point_list`, each face starting one
// corner later.
PointList Rotate(const PointList& point_list, std::size_t index);
// Top and bottom faces swapped.
PointList Rearrange_bot_top(const PointList& point_list);

HostGeo::Point3D Change_x(const HostGeo::Point3D& point, double x);
HostGeo::Point3D Change_y(const HostGeo::Point3D& point, double y);
HostGeo::Point3D Change_z(const HostGeo::Point3D& point, double z);
// Moves the point by `x` along the plan angle (radians).
HostGeo::Point3D Offset_x(const HostGeo::Point3D& point, double x, const HostGeo::Angle& angle);
// Moves the point by `y` across the plan angle (the angle turned by +90 degrees).
HostGeo::Point3D Offset_y(const HostGeo::Point3D& point, double y, const HostGeo::Angle& angle);
HostGeo::Point3D Offset_z(const HostGeo::Point3D& point, double delta_z);
HostGeo::Point3D MidPoint(const HostGeo::Point3D& point1, const HostGeo::Point3D& point2);

// ---------------------------------------------------------------------------
// Design-code rules and tables.

// The concrete grades, "C12/15" to "C90/105"; the palette's grade value is
// the position plus 1.
const std::vector<std::string>& concr_grade_list();
// The bar diameters of the length tables, mm.
const std::vector<double>& diameter_list();
// The exposure classes in table order ("XC1" ... "XS3").
const std::vector<std::string>& exposure_list();

// Lap and anchorage lengths from the CSV tables in the tool's folder. The
// result is the table's centimetre value as millimetre text (a cell "45"
// gives "450"). A diameter outside the diameter list, a missing or short
// file, an empty or non-numeric cell are errors naming the file, row and
// column.
std::string lap_length_for_tension(const std::string& tool_path, double diameter,
                                   int concrete_grade, const std::string& type_bonding = "good");
std::string anchorage_length_for_tension(const std::string& tool_path, double diameter,
                                         int concrete_grade,
                                         const std::string& type_bonding = "good");
std::string lap_length_for_anchorage(const std::string& tool_path, double diameter,
                                     int concrete_grade, const std::string& type_bonding = "good");

// File names of the three tables inside the tool's folder.
inline constexpr const char* kLapLengthForTensionFile = "lap_length_for_tension.csv";
inline constexpr const char* kAnchorageLengthForTensionFile = "anchorage_length_for_tension.csv";
inline constexpr const char* kLapLengthForAnchorageFile = "lap_length_for_anchorage.csv";

// Rounding to steps of 50 mm, with the floored remainder (-30 mod 50 = 20).
double round_up(double number);
double round_down(double number);
double round_number(double number);
// Rounding to a multiple of 10, an exact half going to the even multiple.
double round_to_10(double number);

double Cover_rebar(double concr, double diameter);
double Cover_stirrup_rebar(double concr, double stirrup, double diameter);
double Cover_stirrup(double concr, double stirrup);

// Grade name at position `value` (0 = "C12/15"); outside 0..13 is an error.
std::string concre_grade(int value);
// [minimum cover mm, allowance mm, position of the lowest grade] of an
// exposure class, compared exactly; an unknown class is an error.
std::array<int, 3> concr_exposure(const std::string& exposure);

// The system's own CSV reader: comma separator, double-quote quoting (a
// doubled quote inside quotes is one quote), rows of text cells. A missing or
// unreadable file is an error naming it.
std::vector<std::vector<std::string>> read_csv(const std::string& path);
std::vector<std::vector<std::string>> parse_csv(const std::string& text);
// One cell of a CSV text, read without building the other rows: whether it
// exists, its text, how many rows were read (up to the wanted one) and how
// many cells the wanted row has.
struct CsvCell {
  bool found = false;
  std::string text;
  std::size_t rows = 0;
  std::size_t cells_in_row = 0;
};
CsvCell find_csv_cell(const std::string& text, std::size_t row, std::size_t column);
// A whole text file; a missing or unreadable file is an error naming it.
std::string read_text_file(const std::string& path);

// ---------------------------------------------------------------------------
// Detailing rules of EN 1992-1-1 that decide where bars may stand. Lengths in
// mm.

// Mandrel diameter as a multiple of the bar diameter (Table 8.1N): 4 for bars
// up to 16 mm, 7 above. Every bar is bent on it, so the bar as built, its
// scheduled length and its drawing share one bend radius.
double MandrelFactor(double diameter);
// The inside radius of a bar's bends: half its mandrel.
double InnerBendRadius(double diameter);
// The least end projection of a link's hook as bar schedules measure it:
// from the outside of the bar at the bend to the bar's end, so the straight
// tail plus the bend's inner radius plus the bar. A straight tail of ten
// diameters and at least 90 mm, rounded up to 5 mm (6 mm: 110, 8: 115,
// 10: 130, 12: 160, 16: 210, 20: 290, 25: 365, 32: 465 mm).
double MinLinkEndProjection(double link_diameter);
// The straight tail after a link's hook bend that gives that projection.
double MinLinkTail(double link_diameter);
// Distance from a face to the axis of a corner bar that touches the inside
// of the link's bend, the link's outer face at `cover`. A bar thicker than
// the mandrel touches both straight legs instead.
double CornerBarInset(double cover, double link_diameter, double bar_diameter);
// Least clear distance between adjacent bars (8.2(2)): the larger of the bar
// diameter, the aggregate size plus 5 mm and 20 mm.
double MinClearSpacing(double bar_diameter, double aggregate_size);
// Largest clear distance between lapped bars (8.7.2(3)): the smaller of 4
// bar diameters and 50 mm.
double MaxLapClearDistance(double bar_diameter);
// Largest link pitch in a column (9.5.3(3)): the smallest of 20 times the
// smallest longitudinal bar, the column's least dimension and 400 mm.
double MaxLinkSpacing(double smallest_bar, double least_dimension);
// Factor on that pitch near the column's ends and over laps of bars above
// 14 mm (9.5.3(4)).
inline constexpr double kReducedLinkSpacingFactor = 0.6;
// Bars above this diameter need the reduced pitch over their laps, mm.
inline constexpr double kLapLinkDiameter = 14;
// Links within a lap, at least (9.5.3(4)).
inline constexpr int kLinksWithinLap = 3;
// Least link diameter (9.5.3(1)): 6 mm or a quarter of the largest
// longitudinal bar.
double MinLinkDiameter(double largest_bar);
// Farthest a longitudinal bar may stand from a restrained one (9.5.3(6)).
inline constexpr double kRestraintDistance = 150;
// Least longitudinal steel as a share of the section (9.5.2(2)).
inline constexpr double kMinSteelRatio = 0.002;

// ---------------------------------------------------------------------------
// Corner points of the pieces of a wall cut around a door or window opening.
// Door functions take the wall's corner list followed by the door's (16
// points); window functions the wall's and the opening's corner lists.

PointList Wall_Door_Hor_points1(const PointList& point_list);
PointList Wall_Door_Hor_points2(const PointList& point_list);
PointList Wall_Door_Hor_points3(const PointList& point_list);
PointList Wall_Door_Ver_points1(const PointList& point_list);
PointList Wall_Door_Ver_points2(const PointList& point_list);
PointList Wall_Door_Ver_points3(const PointList& point_list);

PointList Window_Hor_points1(const PointList& Wall_points, const PointList& Opening_points);
PointList Window_Hor_points2(const PointList& Wall_points, const PointList& Opening_points);
PointList Window_Hor_points3(const PointList& Wall_points, const PointList& Opening_points);
PointList Window_Hor_points4(const PointList& Wall_points, const PointList& Opening_points);
PointList Window_Ver_points1(const PointList& Wall_points, const PointList& Opening_points);
PointList Window_Ver_points2(const PointList& Wall_points, const PointList& Opening_points);
PointList Window_Ver_points3(const PointList& Wall_points, const PointList& Opening_points);
PointList Window_Ver_points4(const PointList& Wall_points, const PointList& Opening_points);

}  // namespace geomkit
