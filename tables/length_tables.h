// lengthtables: the lap and anchorage length tables that the column tool reads
// from its folder, computed from the design-code formulas (EN 1992-1-1 with
// its recommended values) instead of being typed in.
//
// For a bar of diameter phi (mm) in concrete of characteristic strength fck
// (MPa):
//   fctm      = 0.30 fck^(2/3)                     up to C50/60
//             = 2.12 ln(1 + (fck + 8) / 10)        above C50/60
//   fctk,0.05 = 0.7 fctm, capped at the value of C60/75
//   fctd      = fctk,0.05 / 1.5                    (alpha_ct = 1, gamma_c = 1.5)
//   fbd       = 2.25 eta1 eta2 fctd
//               eta1 = 1.0 for good bond conditions, 0.7 for poor ones
//               eta2 = 1.0 for phi <= 32, (132 - phi) / 100 above
//   lb,rqd    = (phi / 4) fyd / fbd                 fyd = 500 / 1.15 MPa
// and the three tables:
//   anchorage_length_for_tension: max(lb,rqd, 0.3 lb,rqd, 10 phi, 100 mm)
//   lap_length_for_tension:       max(1.5 lb,rqd, 0.3 1.5 lb,rqd, 15 phi, 200 mm)
//   lap_length_for_anchorage:     max(lb,rqd, 0.3 lb,rqd, 15 phi, 200 mm)
// The coefficients alpha1..alpha6 are taken as 1 and the steel stress as fyd,
// which gives the longest (safe) lengths. A length is first rounded to a
// micrometre, so that floating-point noise cannot push an exact value over a
// centimetre, and then rounded up to whole centimetres.
//
// Every table is a CSV text with a heading row, 11 rows for good bond (one
// per diameter 6, 8, 10, 12, 14, 16, 20, 25, 28, 32, 40 mm, column 0 the
// diameter), a heading row and 11 rows for poor bond; columns 1 to 14 hold
// the grades C12/15 to C90/105 in whole centimetres.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace lengthtables {

enum class Table { LapLengthForTension, AnchorageLengthForTension, LapLengthForAnchorage };
enum class Bond { Good, Poor };

inline constexpr std::array<Table, 3> kTables{
    Table::LapLengthForTension, Table::AnchorageLengthForTension, Table::LapLengthForAnchorage};

// The file name the column tool looks for, e.g. "lap_length_for_tension.csv".
const char* FileName(Table table);

// The bar diameters (mm) and grade names of the rows and columns.
const std::vector<double>& Diameters();
const std::vector<std::string>& GradeNames();
// fck of each grade, MPa, in the order of GradeNames().
const std::vector<double>& CharacteristicStrengths();

// The design bond stress fbd (MPa) of a bar of `diameter` mm in grade
// `grade_value` (1 = C12/15 ... 14 = C90/105).
double BondStrength(double diameter, int grade_value, Bond bond);
// The basic required anchorage length lb,rqd, mm.
double BasicAnchorageLength(double diameter, int grade_value, Bond bond);
// The table's length in mm before rounding.
double LengthMm(Table table, double diameter, int grade_value, Bond bond);
// The table's cell: the length rounded up to whole centimetres.
int LengthCm(Table table, double diameter, int grade_value, Bond bond);

// The whole table as CSV text (lines end in "\n").
std::string TableCsv(Table table);

// Writes the three tables into `folder` (created when missing) under their
// file names. Each file is written to a temporary file beside it and then
// renamed, so a reader never sees half a table. Failures are errors naming
// the file.
void WriteTables(const std::filesystem::path& folder);

}  // namespace lengthtables
