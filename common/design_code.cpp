// The lap and anchorage length lookups and the rounding of lengths.
#include <cmath>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "common/geomkit.h"

namespace geomkit {

namespace {

// Whole millimetres print without a decimal point (12, not 12.000000).
std::string FormatNumber(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string AllowedDiameters() {
  std::string text;
  for (const double d : diameter_list()) {
    if (!text.empty()) text += ", ";
    text += FormatNumber(d);
  }
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool IsWholeNumber(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Rows 1 to 11 hold good bond conditions, rows 13 to 23 the other condition,
// one row per diameter in the order of the diameter list; column c holds the
// value of palette grade c in whole centimetres. Appending "0" gives the
// millimetre text. The file is read anew on every call.
std::string LookUp(const char* function, const char* file_name, const std::string& tool_path,
                   double diameter, int concrete_grade, const std::string& type_bonding) {
  const auto& diameters = diameter_list();
  std::size_t position = diameters.size();
  for (std::size_t i = 0; i < diameters.size(); ++i) {
    if (diameters[i] == diameter) {
      position = i;
      break;
    }
  }
  if (position == diameters.size()) {
    throw std::invalid_argument(std::string(function) + ": bar diameter " + FormatNumber(diameter) +
                                " mm has no row in the length tables; the tables cover " +
                                AllowedDiameters() + " mm");
  }
  // Column 0 holds the row's label, so the first grade value is 1.
  if (concrete_grade < 1) {
    throw std::out_of_range(std::string(function) + ": concrete grade value " +
                            std::to_string(concrete_grade) +
                            " has no column in the length tables; grade values start at 1 (" +
                            concr_grade_list().front() + ")");
  }

  const std::size_t row = type_bonding == "good" ? position + 1 : position + 13;
  const auto column = static_cast<std::size_t>(concrete_grade);
  const std::string path = (std::filesystem::path(tool_path) / file_name).string();
  const std::string text = read_text_file(path);
  CsvCell cell;
  try {
    cell = find_csv_cell(text, row, column);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("table file \"" + path + "\": " + e.what());
  }
  // The place of the cell in words, only when something is wrong with it.
  const auto where = [&] {
    return std::string(function) + ": table file \"" + path + "\", row " + std::to_string(row) +
           ", column " + std::to_string(column) + " (both counted from 0, bar diameter " +
           FormatNumber(diameter) + " mm, grade value " + std::to_string(concrete_grade) + ", " +
           (type_bonding == "good" ? "good" : "poor") + " bond)";
  };
  if (row >= cell.rows) {
    throw std::out_of_range(where() + ": the file has only " + std::to_string(cell.rows) + " rows");
  }
  if (!cell.found) {
    throw std::out_of_range(where() + ": that row has only " + std::to_string(cell.cells_in_row) +
                            " cells");
  }
  const std::string value = Trimmed(cell.text);
  if (value.empty()) {
    throw std::runtime_error(where() +
                             ": the cell is empty; it must hold a whole number of "
                             "centimetres");
  }
  if (!IsWholeNumber(value)) {
    throw std::runtime_error(where() + ": the cell holds \"" + cell.text +
                             "\", not a whole number of centimetres");
  }
  return value + "0";
}

// Floored remainder: 0 <= r < 50 for every finite number, also a negative one.
double Remainder50(const char* function, double number) {
  if (!std::isfinite(number)) {
    throw std::invalid_argument(std::string(function) + ": cannot round the length " +
                                FormatNumber(number) + " mm; it is not a finite number");
  }
  double r = std::fmod(number, 50.0);
  if (r < 0) r += 50.0;
  // A tiny negative remainder plus 50 can round to 50 itself.
  if (r >= 50.0) r = 0.0;
  return r;
}

}  // namespace

std::string lap_length_for_tension(const std::string& tool_path, double diameter,
                                   int concrete_grade, const std::string& type_bonding) {
  return LookUp("lap_length_for_tension", kLapLengthForTensionFile, tool_path, diameter,
                concrete_grade, type_bonding);
}

std::string anchorage_length_for_tension(const std::string& tool_path, double diameter,
                                         int concrete_grade, const std::string& type_bonding) {
  return LookUp("anchorage_length_for_tension", kAnchorageLengthForTensionFile, tool_path, diameter,
                concrete_grade, type_bonding);
}

std::string lap_length_for_anchorage(const std::string& tool_path, double diameter,
                                     int concrete_grade, const std::string& type_bonding) {
  return LookUp("lap_length_for_anchorage", kLapLengthForAnchorageFile, tool_path, diameter,
                concrete_grade, type_bonding);
}

// Lengths measured between corners far from the origin or turned carry
// noise of a few 1e-10 mm: a length within a millionth of a millimetre of a
// multiple of 50 is that multiple.
constexpr double kLengthNoise = 1e-6;

double round_up(double number) {
  const double r = Remainder50("round_up", number);
  return r < kLengthNoise ? number - r : number - r + 50.0;
}

double round_down(double number) {
  const double r = Remainder50("round_down", number);
  return r > 50.0 - kLengthNoise ? number - r + 50.0 : number - r;
}

double round_number(double number) { return Remainder50("round_number", number); }

// Spacings come from products such as 0.6 x 175, which floating point may
// put a hair beside the exact half; the tenth is first rounded to 1e-9 so
// such a value still counts as a tie and goes to the even multiple.
double round_to_10(double number) {
  if (!std::isfinite(number)) {
    throw std::invalid_argument("round_to_10: cannot round " + FormatNumber(number) +
                                "; it is not a finite number");
  }
  const double tenths = number / 10.0;
  const double lower = std::floor(tenths);
  const double fraction = std::round((tenths - lower) * 1e9) / 1e9;
  double multiple = 0;
  if (fraction == 0.5) {
    multiple = std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
  } else {
    multiple = fraction < 0.5 ? lower : lower + 1.0;
  }
  return multiple * 10.0;
}

}  // namespace geomkit
