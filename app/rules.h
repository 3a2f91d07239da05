// Rules of a building run: palette edits per kind of column, so that a
// 200 x 200 column and a 600 x 600 one in one building each get sensible
// bars. A rules file (docs/rules.md) lists rules in order; each matches
// columns by their section's sides, their storey, their name and their
// type, and gives palette edits. The first rule that matches a column gives
// its edits.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/elements.h"

namespace pierhost {

// Palette edits NAME=VALUE, applied in order.
using PaletteEdits = std::vector<std::pair<std::string, std::string>>;

struct ColumnRule {
  std::string name;  // how the summary names it; "rules[3]" when the file gives none
  // The section's smaller and larger side, mm, each inclusive within 0.1 mm.
  std::optional<std::pair<double, double>> width;
  std::optional<std::pair<double, double>> length;
  // Patterns with * (any run of characters) and ? (any one character); a
  // column matches a list when it matches one of them. An empty list
  // matches every column.
  std::vector<std::string> storeys;  // the storey's name (IFC models)
  std::vector<std::string> names;    // the column's id, Name or Tag
  std::vector<std::string> types;    // the column's type name (IFC models)
  PaletteEdits set;
};

class BuildingRules {
 public:
  // Reads a rules file. Anything not in its format (an unknown key, a side
  // range that is not [min, max], an edit that is not NAME=VALUE) is an
  // error naming the file and the place.
  static BuildingRules Read(const std::string& path);
  static BuildingRules Parse(const std::string& text, const std::string& source_name);

  const std::vector<ColumnRule>& Rules() const { return rules_; }
  // The index of the first rule that matches the column, if any.
  std::optional<std::size_t> Match(const HostElementAdapter::ElementModel& model,
                                   std::size_t column) const;

 private:
  std::vector<ColumnRule> rules_;
};

// Whether `text` matches `pattern` (* and ?, case sensitive).
bool MatchesPattern(const std::string& pattern, const std::string& text);

}  // namespace pierhost
