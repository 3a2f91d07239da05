// The bar schedule as rows of text cells, laid out alike by schedule.csv,
// schedule.xlsx and the terminal's table.
//
// A building's schedule is read by group: cages with identical lines and
// levels form a group (app/export/bar_schedule.h, CageGroups), the bar
// lines are listed once per group, and the member table names each cage's
// group. No cell holds more than a few hundred characters, however many
// cages a group has or however long a column's name is.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "app/export/bar_schedule.h"

namespace pierhost {

// The most characters a cell of the schedule holds; a longer name is cut and
// ends in "...". (Names are whole in cage.ifc and model.json.)
inline constexpr std::size_t kMaxCellCharacters = 200;

struct ScheduleRows {
  std::vector<std::pair<std::string, std::string>> header;  // project, drawing, members, date
  // Each table's first row holds its headings; `text` tells which of its
  // columns hold text that must stay text (marks "01", shape codes "00"),
  // the others numbers.
  struct Table {
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> text;
  };
  Table bars;     // per group and mark
  Table totals;   // per diameter, and the grand total
  Table members;  // one row per cage: its group
  std::vector<std::string> notes;
};

ScheduleRows MakeScheduleRows(const ExportInput& input, const Schedule& schedule);

// A scheduled dimension: whole mm, empty when the shape does not use it.
std::string Dimension(double mm);

}  // namespace pierhost
