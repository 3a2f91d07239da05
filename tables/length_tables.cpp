// The formulas are listed in length_tables.h.
#include "tables/length_tables.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace lengthtables {

namespace {

constexpr double kFyd = 500.0 / 1.15;         // design yield strength of B500 steel, MPa
constexpr double kGammaC = 1.5;               // partial factor of concrete
constexpr int kLastFormulaOneGrade = 9;       // C50/60: fctm = 0.30 fck^(2/3) up to here
constexpr int kTensileStrengthCapGrade = 11;  // C60/75: fctk,0.05 no higher than here

std::size_t GradeIndex(int grade_value) {
  const auto count = static_cast<int>(GradeNames().size());
  if (grade_value < 1 || grade_value > count) {
    throw std::out_of_range("concrete grade value " + std::to_string(grade_value) +
                            " is outside 1 (C12/15) to " + std::to_string(count) + " (C90/105)");
  }
  return static_cast<std::size_t>(grade_value - 1);
}

double MeanTensileStrength(int grade_value) {
  const double fck = CharacteristicStrengths()[GradeIndex(grade_value)];
  if (grade_value <= kLastFormulaOneGrade) return 0.30 * std::cbrt(fck * fck);
  return 2.12 * std::log(1.0 + (fck + 8.0) / 10.0);
}

double CharacteristicTensileStrength(int grade_value) {
  const double capped = 0.7 * MeanTensileStrength(kTensileStrengthCapGrade);
  return std::min(0.7 * MeanTensileStrength(grade_value), capped);
}

void RequirePositiveDiameter(double diameter) {
  if (!(diameter > 0) || !std::isfinite(diameter)) {
    std::ostringstream msg;
    msg << "bar diameter " << diameter << " mm is not a positive length";
    throw std::invalid_argument(msg.str());
  }
}

std::string Heading(Table table, Bond bond) {
  std::string text = FileName(table);
  text.erase(text.size() - 4);  // ".csv"
  text += bond == Bond::Good ? " (cm) good bond" : " (cm) poor bond";
  text += "; diameter (mm)";
  for (const auto& grade : GradeNames()) text += "," + grade;
  return text;
}

void WriteFile(const std::filesystem::path& target, const std::string& text) {
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      throw std::runtime_error("cannot create \"" + temporary.string() +
                               "\"; check that the folder exists and is writable");
    }
    out << text;
    out.flush();
    if (!out) {
      throw std::runtime_error("cannot write \"" + temporary.string() + "\" (disk full?)");
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    throw std::runtime_error("cannot replace \"" + target.string() + "\": " + ec.message());
  }
}

}  // namespace

const char* FileName(Table table) {
  switch (table) {
    case Table::LapLengthForTension:
      return "lap_length_for_tension.csv";
    case Table::AnchorageLengthForTension:
      return "anchorage_length_for_tension.csv";
    case Table::LapLengthForAnchorage:
      return "lap_length_for_anchorage.csv";
  }
  throw std::invalid_argument("unknown length table");
}

const std::vector<double>& Diameters() {
  static const std::vector<double> diameters{6, 8, 10, 12, 14, 16, 20, 25, 28, 32, 40};
  return diameters;
}

const std::vector<std::string>& GradeNames() {
  static const std::vector<std::string> names{"C12/15", "C16/20", "C20/25", "C25/30", "C30/37",
                                              "C35/45", "C40/50", "C45/55", "C50/60", "C55/67",
                                              "C60/75", "C70/85", "C80/95", "C90/105"};
  return names;
}

const std::vector<double>& CharacteristicStrengths() {
  static const std::vector<double> fck{12, 16, 20, 25, 30, 35, 40, 45, 50, 55, 60, 70, 80, 90};
  return fck;
}

double BondStrength(double diameter, int grade_value, Bond bond) {
  RequirePositiveDiameter(diameter);
  const double fctd = CharacteristicTensileStrength(grade_value) / kGammaC;
  const double eta1 = bond == Bond::Good ? 1.0 : 0.7;
  const double eta2 = diameter <= 32 ? 1.0 : (132.0 - diameter) / 100.0;
  return 2.25 * eta1 * eta2 * fctd;
}

double BasicAnchorageLength(double diameter, int grade_value, Bond bond) {
  return diameter / 4.0 * kFyd / BondStrength(diameter, grade_value, bond);
}

double LengthMm(Table table, double diameter, int grade_value, Bond bond) {
  const double lb = BasicAnchorageLength(diameter, grade_value, bond);
  switch (table) {
    case Table::AnchorageLengthForTension:
      return std::max({lb, 0.3 * lb, 10.0 * diameter, 100.0});
    case Table::LapLengthForTension:
      return std::max({1.5 * lb, 0.3 * 1.5 * lb, 15.0 * diameter, 200.0});
    case Table::LapLengthForAnchorage:
      return std::max({lb, 0.3 * lb, 15.0 * diameter, 200.0});
  }
  throw std::invalid_argument("unknown length table");
}

int LengthCm(Table table, double diameter, int grade_value, Bond bond) {
  // Whole micrometres first, then up to whole centimetres (10,000 um).
  const long long micrometres = std::llround(LengthMm(table, diameter, grade_value, bond) * 1000.0);
  return static_cast<int>((micrometres + 9999) / 10000);
}

std::string TableCsv(Table table) {
  std::ostringstream out;
  const int grades = static_cast<int>(GradeNames().size());
  for (const Bond bond : {Bond::Good, Bond::Poor}) {
    out << Heading(table, bond) << '\n';
    for (const double diameter : Diameters()) {
      out << diameter;
      for (int grade = 1; grade <= grades; ++grade) {
        out << ',' << LengthCm(table, diameter, grade, bond);
      }
      out << '\n';
    }
  }
  return out.str();
}

void WriteTables(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    throw std::runtime_error("cannot create the folder \"" + folder.string() +
                             "\": " + ec.message());
  }
  for (const Table table : kTables) WriteFile(folder / FileName(table), TableCsv(table));
}

}  // namespace lengthtables
