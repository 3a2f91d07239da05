// What the two column cages have in common: reading the picked corners,
// the section's sizes, where the bars stand in the section, the links and
// cross-ties, the design checks and the derived palette defaults. The single
// and the stacked cage each call these; they share no base class.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"

namespace cage_common {

using PointList = std::vector<HostGeo::Point3D>;
using Placements = std::vector<HostReinf::BarPlacement>;

// Moves the placements of `from` to the end of `to`.
void MoveInto(Placements& to, Placements from);

// A cage's corner and side bars, in the order they are listed.
template <class Cage>
Placements LongitudinalOf(Cage& cage) {
  Placements out = cage.MainRebars();
  MoveInto(out, cage.AddX());
  MoveInto(out, cage.AddY());
  return out;
}

// The whole cage in the order it is listed: links, ties, then the bars
// (corner and side bars, as `longitudinal` holds them).
Placements CageList(Placements links, const Placements& ties, Placements longitudinal);

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

// "400 x 400 mm from z = 3250 to 4000": a column told apart by its size and
// levels, for messages.
std::string DescribeColumn(const PointList& corners);
// A length for messages: whole millimetres where it is one, else one decimal.
std::string Mm(double value);

// ---------------------------------------------------------------------------
// The palette values both cages copy, and what they derive from them.

struct CageValues {
  std::string Exposure;
  double Concr_Cover = 0;
  int Concr_Grade = 0;
  double Aggregate_Size = 16;
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
  bool Cross_Ties = true;
  double Restraint_Distance = 150;
  HostReinf::ConcreteCoverProperties concrete_cover_props;
  int steel_grade = 4;
};

// Exposure, cover and grade, the first values a cage copies.
void CopyMaterial(HostBaseElements::BuildingElement& build_ele, CageValues& v);
// The bar and stirrup values from the main bar diameter on, the detailing
// values (aggregate, cross-ties, restraint distance), then the cover set.
void CopyBars(HostBaseElements::BuildingElement& build_ele, CageValues& v);

// The mandrel of a bar, as a multiple of its diameter: what every shape of
// the cage is built with.
double BendingRoller(double diameter);

// ---------------------------------------------------------------------------
// Where the longitudinal bars of one column stand in plan.

// The side bars of one face: their axes `depth` from the face, at `along`
// from the face's start corner.
struct FaceBars {
  std::vector<double> along;
  double depth = 0;
  double diameter = 0;
};

// A column's section with its bars: corners C0..C3 counter-clockwise, face f
// running from corner f to corner f+1 (faces 0 and 2 are the X faces, along
// the plan angle; 1 and 3 the Y faces). Corner bars touch the inside of the
// link's bend; side bars touch the link's leg, spread evenly between the
// corner zones (cover + link + corner bar) of their face.
struct SectionLayout {
  std::array<HostGeo::Point2D, 4> corners;
  double corner_inset = 0;  // corner bar axis from both faces
  double corner_diameter = 0;
  std::array<FaceBars, 4> faces;
  // Each face's length, unit vector and inward normal, worked out once.
  std::array<double, 4> lengths{};
  std::array<HostGeo::Point2D, 4> along;
  std::array<HostGeo::Point2D, 4> inward;

  double FaceLength(std::size_t f) const { return lengths[f]; }
  HostGeo::Point2D Along(std::size_t f) const { return along[f]; }    // unit vector of face f
  HostGeo::Point2D Inward(std::size_t f) const { return inward[f]; }  // unit inward normal
  HostGeo::Point2D CornerBar(std::size_t k) const;
  HostGeo::Point2D SideBar(std::size_t f, std::size_t j) const;
  // Unit vector from corner k into the section along its diagonal.
  HostGeo::Point2D Diagonal(std::size_t k) const;
};

struct SectionBars {
  double cover;          // to the link's outer face
  double link_diameter;  // mm
  double Main_Diameter;
  double Add_X_Number;
  double Add_X_Diameter;
  double Add_Y_Number;
  double Add_Y_Diameter;
};
// `corners` is a normalised corner list (the bottom face is read).
SectionLayout LayoutSection(const PointList& corners, const SectionBars& bars);

// ---------------------------------------------------------------------------
// Links: the levels of the closed links, from the zones that ask for them.

// A stretch of the column over which links may stand at most `spacing`
// apart; `lo` and `hi` are absolute levels.
struct LinkZone {
  double lo;
  double hi;
  double spacing;
};
// Evenly spaced links between two levels: `count` links from `first` to
// `last`, `pitch` apart.
struct LinkRun {
  double first;
  double last;
  int count;
  double pitch;
};
// The link levels from `first` to `last`: where zones overlap the densest
// applies; zones that meet share the link at their boundary, so no two links
// ever stand closer than the pitch of the run they belong to; a stretch too
// short for a pitch of its own joins its denser neighbour. The runs follow
// each other upwards, each starting one pitch above the end of the one
// before (the first at `first`). `main_spacing` applies where no zone does.
std::vector<LinkRun> LayoutLinks(double first, double last, double main_spacing,
                                 const std::vector<LinkZone>& zones);

// Stirrups in three zones along the edge of corner 0, and any lap zones.
struct StirrupZones {
  // Section of the stirrup: the side from corner 0 to 1 is its width, the
  // side from corner 1 to 2 its height, whichever of them is the shorter.
  double Width;
  double Height;
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
  std::vector<LinkZone> laps;  // further zones over laps
  // Where the hooks' tails must stop short of a bar, mm (see LinkHookRoom).
  double hook_room = 1e300;
};
// The link zones of a cage with the values `v` (whose zone lengths the
// zones may set to 0) over the column with the corners `c`.
StirrupZones ZonesOf(CageValues& v, const PointList& c, HostGeo::Angle angle,
                     std::vector<LinkZone> laps, double hook_room);
// The link levels of the zones (a switched-off zone's length becomes 0).
std::vector<LinkRun> StirrupLevels(const StirrupZones& zones);
// How long the straight tails of a link's 135-degree hooks may be before
// they run into a bar: the hooks close at corner 0 and run back into the
// section beside its diagonal. `bars` are further bars (plan position and
// diameter) besides the layout's own, such as bars carried up through the
// column. Hooks of 90 degrees lie along the legs and have all the room;
// where the room is less than a 135-degree hook needs, the links close with
// 90-degree hooks.
double LinkHookRoom(const SectionLayout& layout, double link_diameter, double Main_Diameter,
                    const std::vector<std::pair<HostGeo::Point2D, double>>& bars);
// The shortest tail a 135-degree hook may have: 5 diameters and 50 mm.
double MinHookTail(double link_diameter);
// One placement per run of links, from the bottom up.
Placements BuildStirrups(const StirrupZones& zones, const std::vector<LinkRun>& runs);

// ---------------------------------------------------------------------------
// Cross-ties: single-leg ties with 135-degree hooks round the side bars
// that need restraint, across the section to the bar on the opposite face.

// The side bars of face f (0: the X faces, 1: the Y faces, read on faces 0
// and 1) that must be held so that no bar stands further than `limit` from
// a restrained one (a corner bar or a held bar). Indices into the face's bars.
std::vector<std::size_t> BarsToRestrain(const SectionLayout& layout, std::size_t face,
                                        double limit);
// Bars left further than `limit` from a restrained one when only the corner
// bars are held: (face, index, distance mm).
struct Unrestrained {
  std::size_t face;
  std::size_t index;
  double distance;
};
std::vector<Unrestrained> UnrestrainedBars(const SectionLayout& layout, double limit);

struct CrossTieArgs {
  const SectionLayout& layout;
  const std::vector<LinkRun>& runs;  // the link levels
  double link_diameter;              // the ties are of the link's bar
  int steel_grade;
  int Concr_Grade;
  double limit;  // the restraint distance, mm
  // Every longitudinal bar that stands in the column (centreline, diameter):
  // the held bars are found among them level by level, where a crank may
  // have moved them, and the others are kept clear of.
  std::vector<std::pair<std::vector<HostGeo::Point3D>, double>> bars;
};
struct CrossTieResult {
  Placements placements;
  std::vector<double> clashes;  // levels where a tie could not keep clear of a bar
};
// The ties at every link level: those across the X faces just above each
// link, those across the Y faces just below it (both above the lowest link
// and both below the highest). Their hooks swap sides from level to level,
// except where that side would run into a bar carried through.
CrossTieResult CrossTies(const CrossTieArgs& args);
// The smallest pitch between the links at levels i and i+1 (of n) that
// leaves room for the ties beside them.
double PitchNeededForTies(const SectionLayout& layout, double link_diameter, double limit,
                          std::size_t i, std::size_t n);

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
// Bars created before that enter the column from below: their laps, which
// need the denser links, and their diameters, which the links must hold.

struct BarsFromBelow {
  double lap_top = 0;                               // highest level they reach inside the column
  double max_diameter = 0;                          // of those that reach into it
  double lap_diameter = 0;                          // largest of those whose lap needs denser links
  std::vector<std::vector<HostGeo::Point3D>> bars;  // their centrelines
  std::vector<double> diameters;
  bool any() const { return !bars.empty(); }
};
// The cross-ties of a cage with the values `v`, whose corner and side bars
// are `longitudinal`: held against those and the bars from below; none
// where the palette switches them off.
CrossTieResult CageTies(const CageValues& v, const SectionLayout& layout,
                        const std::vector<LinkRun>& runs, const Placements& longitudinal,
                        const BarsFromBelow& below);

// Looks through the elements created in `doc` for longitudinal bars that
// stand below the column's bottom and reach into its section.
BarsFromBelow FindBarsFromBelow(const HostBaseElements::ModelDocument& doc,
                                const PointList& corners);
// The thinnest longitudinal bar of a cage's own section, mm.
double SmallestBar(const CageValues& v);
// The largest link pitch of 9.5.3(3) for the cage's section, mm.
double LinkSpacingLimit(const CageValues& v, double least_dimension);
// The zone of denser links over the laps of bars from below that are
// thicker than 14 mm: from the column's bottom to their tops.
std::vector<LinkZone> LapZonesFromBelow(const BarsFromBelow& below, double bottom,
                                        const CageValues& v, double least_dimension);
// The longitudinal bars a cage's links hold, named for messages.
std::vector<std::pair<std::string, double>> HeldBars(const CageValues& v,
                                                     const BarsFromBelow& below);

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

// Detailing findings. Each says what is measured, where, the limit and the
// rule, and whether it blocks the cage or only warns.
// The thickest floor a stacked cage carries its bars through (mm).
inline constexpr double kMaxSlabAbove = 1500;

struct Finding {
  bool blocks = false;
  std::string label;  // what blocked, in a few words, for the line Draw prints
  std::string text;
};
// "Blocked: ..." / "Warning: ..." with the consequence at the end.
Finding Blocking(const std::string& label, const std::string& what);
Finding Warning(const std::string& what);
// Shows each finding; adds the labels of those that block to `blocked`;
// true when one of them blocks.
bool Report(const std::vector<Finding>& findings, std::vector<std::string>& blocked);
// The labels joined for the line Draw prints: "a, b and c".
std::string JoinLabels(const std::vector<std::string>& labels);

// Clear distances between neighbouring bars of each face against 8.2(2).
void CheckClearSpacing(const SectionLayout& layout, double aggregate_size,
                       std::vector<Finding>& out);
// The link diameter against the largest longitudinal bar it holds (9.5.3(1)).
// `bars` names the bars and their diameters ("corner bars", 25).
void CheckLinkDiameter(double link_diameter,
                       const std::vector<std::pair<std::string, double>>& bars,
                       std::vector<Finding>& out);
// Longitudinal steel at least 0.2 % of the section (9.5.2(2)).
void CheckMinimumSteel(double steel_area_cm2, double Column_Width, double Column_Length,
                       std::vector<Finding>& out);
// Every bar within the restraint distance of a restrained one (9.5.3(6));
// only where the cross-ties are switched off.
void CheckRestraint(const SectionLayout& layout, const CageValues& v, std::vector<Finding>& out);
// The link zones against 9.5.3(3)-(4): the main pitch, the end zones within
// the column's larger side of each end, laps of bars above 14 mm.
struct ZoneCheck {
  const CageValues& values;                  // the zones as the cage built them
  double smallest_bar;                       // mm, of the cage's longitudinal bars
  double least_dimension;                    // mm, of the section
  double larger_dimension;                   // mm, of the section
  std::vector<LinkZone> laps_needing_links;  // laps of bars above 14 mm
  std::vector<LinkRun> runs;                 // the links as built
};
void CheckLinkZones(const ZoneCheck& check, std::vector<Finding>& out);
// Bars from below against this column's own bars: each inside its links,
// clear of its bars and lapping one of them side by side (8.7.2(3)).
void CheckBarsFromBelow(const BarsFromBelow& below, const SectionLayout& layout,
                        const CageValues& v, std::vector<Finding>& out);
// Levels where the ties could not keep clear of the bars carried through.
void CheckTieClashes(const std::vector<double>& levels, std::vector<Finding>& out);
// Room for the cross-ties between the links.
void CheckTieRoom(const SectionLayout& layout, const CageValues& v,
                  const std::vector<LinkRun>& runs, std::vector<Finding>& out);

// ---------------------------------------------------------------------------
// Derived palette values.

// The largest link pitch of a cage: the tool's own 12 bar diameters and
// 200 mm, and 9.5.3(3) with the smallest bar and the least dimension.
double MainSpacingLimit(double Main_Diameter, double smallest_bar, double least_dimension);
// Writes the main and the two additional stirrup spacings derived from the
// palette's main bar diameter, within `limit` and 0.6 of it.
void WriteSpacings(HostBaseElements::BuildingElement& build_ele, double limit);

// The side bars' bars of a row: the end cover of the placement for `n` bars
// of diameter `d` spread between the corner zones `o` over a side of
// `side_length`.
double SideBarEndCover(double o, double side_length, double n, double d);

}  // namespace cage_common
