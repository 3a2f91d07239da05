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

// Runs the tool once per column. `progress` is told after each column.
BuildingResult ReinforceBuilding(
    const HostUtil::PluginModule& plugin,
    std::shared_ptr<const HostElementAdapter::ElementModel> model, const std::string& tool_path,
    const BuildingOptions& options,
    const std::function<void(std::size_t done, std::size_t total)>& progress = {});

// The command: reinforce, write the outputs, print the summary. Exit 0 when
// every column got its bars, 3 when some were blocked or failed.
int RunBuilding(const BuildingOptions& options, const ToolLocation& tool, Terminal& terminal);

}  // namespace pierhost
