// The grade list, the diameter list of the length tables, the exposure table
// and the cover sums.
#include "common/geomkit.h"

#include <algorithm>
#include <stdexcept>

namespace geomkit {

namespace {

struct ExposureEntry {
  const char* name;
  std::array<int, 3> values;  // minimum cover mm, allowance mm, lowest grade position
};

// Minimum cover for durability, the allowance added to it, and the position
// in the grade list of the lowest grade the class admits.
constexpr std::array<ExposureEntry, 10> kExposureTable{{
    {"XC1", {10, 10, 1}},
    {"XC2", {20, 15, 1}},
    {"XC3", {20, 15, 2}},
    {"XC4", {25, 15, 3}},
    {"XD1", {40, 15, 4}},
    {"XD2", {40, 15, 5}},
    {"XD3", {40, 15, 5}},
    {"XS1", {40, 15, 4}},
    {"XS2", {40, 15, 5}},
    {"XS3", {40, 15, 5}},
}};

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

}  // namespace

const std::vector<std::string>& concr_grade_list() {
  static const std::vector<std::string> grades{"C12/15", "C16/20", "C20/25", "C25/30", "C30/37",
                                               "C35/45", "C40/50", "C45/55", "C50/60", "C55/67",
                                               "C60/75", "C70/85", "C80/95", "C90/105"};
  return grades;
}

const std::vector<double>& diameter_list() {
  static const std::vector<double> diameters{6, 8, 10, 12, 14, 16, 20, 25, 28, 32, 40};
  return diameters;
}

const std::vector<std::string>& exposure_list() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const auto& entry : kExposureTable) out.emplace_back(entry.name);
    return out;
  }();
  return names;
}

std::string concre_grade(int value) {
  const auto& grades = concr_grade_list();
  if (value < 0 || static_cast<std::size_t>(value) >= grades.size()) {
    throw std::out_of_range("concrete grade position " + std::to_string(value) +
                            " is outside the grade list; positions run from 0 (" + grades.front() +
                            ") to " + std::to_string(grades.size() - 1) + " (" + grades.back() +
                            ")");
  }
  return grades[static_cast<std::size_t>(value)];
}

std::array<int, 3> concr_exposure(const std::string& exposure) {
  const auto it = std::find_if(kExposureTable.begin(), kExposureTable.end(),
                               [&](const ExposureEntry& e) { return exposure == e.name; });
  if (it == kExposureTable.end()) {
    throw std::invalid_argument(
        "exposure class \"" + exposure +
        "\" is not in the exposure table; known classes (upper case): " + Joined(exposure_list()));
  }
  return it->values;
}

double Cover_rebar(double concr, [[maybe_unused]] double diameter) { return concr; }

double Cover_stirrup_rebar(double concr, double stirrup, [[maybe_unused]] double diameter) {
  return concr + stirrup;
}

double Cover_stirrup(double concr, double stirrup) { return concr + stirrup; }

}  // namespace geomkit
