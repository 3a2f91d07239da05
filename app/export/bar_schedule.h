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

// Scheduling: lengths and dimensions rounded up to multiples of 5 mm.
double ScheduledLength(double exact_mm);
// Mass per metre of a bar of diameter d (mm), kg/m, from 7850 kg/m3.
double UnitMass(double d);
// "H16": high-yield steel, 16 mm.
std::string TypeAndSize(double d);

struct BarShape {
  std::string code;                          // "00", "26", "51", "99"
  std::string sketch;                        // short description for shapes without a standard code
  double A = 0, B = 0, C = 0, D = 0, E = 0;  // scheduled dimensions, mm (0 = not used)
  double exact_length = 0;                   // centreline length, mm
  double diameter = 0;
  double bend_radius = 0;  // centreline
  // Exact values behind the rounded dimensions, for the schedule's checks:
  // a dimension rounded up must not hide a short tail or a steep crank.
  double shorter_tail = 0;  // links: the shorter hook leg, mm
  double crank_rise = 0;    // cranked bars: height of the inclined part, mm
  double crank_offset = 0;  // cranked bars: offset of the upper leg, mm
};

// The shape code and dimensions of one bending shape.
BarShape DescribeShape(const HostReinf::BendingShape& shape);

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
  double spacing = 0;  // mm, for bars placed by spacing (0 otherwise)
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
  // Bars longer than the 12 m stock length, and link tails shorter than the
  // minimum end projection: one note each.
  std::vector<std::string> notes;
};

Schedule BuildSchedule(const ExportInput& input);

// Cages whose schedule lines (mark and count, in mark order) are identical:
// they share lines as several members. Each group lists indices into
// input.cages, groups in the order of their first cage.
std::vector<std::vector<std::size_t>> IdenticalCages(const ExportInput& input,
                                                     const Schedule& schedule);

}  // namespace pierhost
