// Reinforcing a whole building: every column gets its cage, the stacked
// cage where a column carries another, run through the tool exactly as a
// user would run it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/driver.h"
#include "app/terminal.h"

namespace pierhost {

// A column carries the column standing on it when that column's bottom lies
// above its top by no more than the slab zone and its plan centre lies inside
// its plan.
inline constexpr double kDefaultSlabZone = 1500;  // mm

// For each column of the model (by element index), the index of the column
// standing on it, if any. Of several, the lowest one wins, then the first in
// the model.
std::vector<std::optional<std::size_t>> FindColumnsAbove(
    const HostElementAdapter::ElementModel& model, double slab_zone = kDefaultSlabZone);

struct BuildingOptions {
  std::string model;
  std::vector<std::pair<std::string, std::string>> sets;
  std::string out_dir = ".";
  double slab_zone = kDefaultSlabZone;
};

// What happened to one column.
struct ColumnOutcome {
  std::string column;
  std::string above;  // empty for a single cage
  enum class Result { Reinforced, Warned, Blocked, Failed } result = Result::Reinforced;
  std::vector<std::string> messages;  // message boxes, then printed lines, then an error
};

struct BuildingResult {
  std::vector<ColumnOutcome> columns;
  std::vector<CageRecord> cages;
};

// The palette edits of a column's own run: every `--set`, and for a column
// that stands on another, the values given for the columns above
// (`Main_Diameter_Above=20`) under their own names.
std::vector<std::pair<std::string, std::string>> ColumnEdits(const BuildingOptions& options,
                                                             bool stands_on_another);
// The edits of a run: the column's own, and for a stacked cage the values of
// the column above (`Main_Diameter_Above` and the like) from that column's
// own edits, so that the bars carried up lap the bars it is given.
std::vector<std::pair<std::string, std::string>> RunEdits(
    const std::vector<std::pair<std::string, std::string>>& own,
    const std::vector<std::pair<std::string, std::string>>* above);

// Runs the tool once per column, storey by storey of each stack: a column
// runs after the one it stands on, with that one's bars in its model.
// `progress` is told as columns finish.
BuildingResult ReinforceBuilding(
    const HostUtil::PluginModule& plugin,
    std::shared_ptr<const HostElementAdapter::ElementModel> model, const std::string& tool_path,
    const BuildingOptions& options,
    const std::function<void(std::size_t done, std::size_t total)>& progress = {});

// The command: reinforce, write the outputs, print the summary. Exit 0 when
// every column got its bars, 3 when some were blocked or failed.
int RunBuilding(const BuildingOptions& options, const ToolLocation& tool, Terminal& terminal);

}  // namespace pierhost
