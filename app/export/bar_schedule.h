// The bar schedule of a set of cages: every distinct bar gets a mark, its
// shape code, scheduled dimensions and exact length. Identical bars (same
// diameter, shape and dimensions) share one mark across the whole export;
// marks are numbered stirrups first, then bars standing on the column's
// bottom, then starter bars, each group in the order the bars were created,
// so that a rerun gives the same marks.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/export/export_model.h"

namespace pierhost {

// Scheduling: lengths and dimensions rounded up to multiples of 5 mm, after
// the computed value is rounded to 0.1 mm (so that 540.004 is 540).
double ScheduledLength(double exact_mm);
// Mass per metre of a bar of diameter d (mm), kg/m, from 7850 kg/m3.
double UnitMass(double d);
// "H16": high-yield steel, 16 mm.
std::string TypeAndSize(double d);

struct BarShape {
  // The shape code of the bar schedule and its dimensions, as the
  // scheduling standard measures them for that code:
  //  00 straight: A the length;
  //  26 cranked: A the lower leg, B the inclined part along its slope, C the
  //     upper leg, D the offset overall (outside to outside of the bar);
  //  51 closed link with 90-degree hooks, 52 with 135-degree hooks, both at
  //     one corner: A and B the sides to the outside of the bar, C and D the
  //     hooks' end projections (straight tail + inner bend radius + bar);
  //  99 any other shape, drawn with its dimensions (see `sketch`).
  std::string code;
  std::string sketch;                        // short description for shapes without a standard code
  double A = 0, B = 0, C = 0, D = 0, E = 0;  // scheduled dimensions, mm (0 = not used)
  double exact_length = 0;                   // centreline length, mm
  double diameter = 0;
  double bend_radius = 0;  // centreline
  // Exact values behind the rounded dimensions, for the schedule's checks:
  // a dimension rounded up must not hide a short tail or a steep crank.
  double shorter_tail = 0;        // links: the shorter hook's straight tail, mm
  double shorter_projection = 0;  // links: its end projection, mm
  double crank_rise = 0;          // cranked bars: height of the inclined part, mm
  double crank_offset = 0;        // cranked bars: offset of the upper leg, mm
};

// The shape code and dimensions of one bending shape.
BarShape DescribeShape(const HostReinf::BendingShape& shape);

// The length the schedule gives for the shape's code and its scheduled
// dimensions, by the code's formula (mm, before rounding up): A for 00,
// A + B + C for 26, 2(A + B + C) - 2.5r - 5d for 51, 2(A + B + C) - 1.5r -
// 3d for 52, with r the inside bend radius; for 99 the bar's own length.
// It lies within the bending tolerance of the bar's centreline length.
double FormulaLength(const BarShape& shape);

// The distance between a placement's neighbouring bars as they stand (the
// placement's spacing is an upper bound; a zone's bars share its length
// evenly); 0 for fewer than two bars.
double ActualSpacing(const HostReinf::BarPlacement& placement);

struct MarkEntry {
  std::string mark;  // "01", "02", ...
  BarShape shape;
  enum class Group { Stirrup, Standing, Starter } group = Group::Standing;
  double scheduled_length = 0;  // mm
  double unit_mass = 0;         // kg/m
};

// One schedule line: the bars of one mark in one member (cage).
struct ScheduleLine {
  std::string member;    // the cage's name
  std::size_t mark = 0;  // index into Schedule::marks
  std::size_t count = 0;
  double spacing = 0;  // mm, the largest distance of neighbouring bars (0 for single bars)
};

struct Schedule {
  std::vector<MarkEntry> marks;
  std::vector<ScheduleLine> lines;
  // For each cage, for each of its placements, the index of its mark.
  std::vector<std::vector<std::size_t>> placement_marks;
  struct DiameterTotal {
    double diameter;
    double length_m;
    double mass_kg;
  };
  std::vector<DiameterTotal> totals;  // by diameter, ascending
  double total_mass_kg = 0;
  // Bars longer than the 12 m stock length, link hooks shorter than the
  // least end projection and steep cranks: one note each.
  std::vector<std::string> notes;
};

Schedule BuildSchedule(const ExportInput& input);

// Cages whose schedule lines (mark and count, in mark order) are identical:
// they share lines as several members. Each group lists indices into
// input.cages, groups in the order of their first cage.
std::vector<std::vector<std::size_t>> IdenticalCages(const ExportInput& input,
                                                     const Schedule& schedule);

// The groups of cages the outputs name together: identical lines, and
// columns at the same levels, so that one drawing sheet shows them all.
// Groups in the order of their first cage; the schedule's group n is the
// drawing's sheet n.
struct CageGroup {
  std::string name;                // "G1", "G2", ...
  std::vector<std::size_t> cages;  // indices into input.cages
  std::string members;             // short: "C1", "C1 and 11 more"
};
std::vector<CageGroup> CageGroups(const ExportInput& input, const Schedule& schedule);

}  // namespace pierhost
