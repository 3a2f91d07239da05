// Reinforcing a whole building: every column gets its cage, the stacked
// cage where a column carries another, run through the tool exactly as a
// user would run it.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/driver.h"
#include "app/rules.h"
#include "app/terminal.h"

namespace pierhost {

// A column stands on another when its bottom lies within the slab zone
// above the other's top (or up to the corner tolerance below it) and its
// section overlaps the other's in plan.
inline constexpr double kDefaultSlabZone = 1500;  // mm
// Coordinates farther from the origin than this are refused: no place on
// Earth is that far from any origin a model uses, and the stack finder must
// not be led into arithmetic beyond it.
inline constexpr double kMaxCoordinate = 1e11;  // mm (100,000 km)

// Columns standing on each other, by element index.
struct Stacks {
  // For each element: the column standing on it that its stacked cage
  // takes. Of several, the lowest one, then the one overlapping it most,
  // then the first in the model.
  std::vector<std::optional<std::size_t>> above;
  // Pairs standing on each other that the stacked cage cannot take: both
  // get single cages, and the summary says why.
  struct Single {
    std::size_t lower = 0;
    std::size_t upper = 0;
    std::string reason;  // "the column above is larger", ...
    std::string detail;  // by how much
  };
  std::vector<Single> singles;
};

// Finds the stacks. The work grows with the number of columns, never with
// their size or their distance from the origin; a coordinate that is not
// finite or lies beyond kMaxCoordinate is an error naming the column.
Stacks FindStacks(const HostElementAdapter::ElementModel& model,
                  double slab_zone = kDefaultSlabZone);
// FindStacks(model, slab_zone).above.
std::vector<std::optional<std::size_t>> FindColumnsAbove(
    const HostElementAdapter::ElementModel& model, double slab_zone = kDefaultSlabZone);

struct BuildingOptions {
  std::string model;         // a model file (JSON) or an IFC file
  bool all_columns = false;  // IFC: every column, not only concrete ones
  std::vector<std::pair<std::string, std::string>> sets;
  std::shared_ptr<const BuildingRules> rules;  // none: every column gets `sets` alone
  std::string out_dir = ".";
  double slab_zone = kDefaultSlabZone;
  DrawingIssue issue;
};

// What happened to one column.
struct ColumnOutcome {
  std::string column;
  std::string above;  // empty for a single cage
  enum class Result { Reinforced, Warned, Blocked, Failed } result = Result::Reinforced;
  std::vector<std::string> messages;  // message boxes, then printed lines, then an error
};

struct BuildingResult {
  // The model the cages were made in: the one given, with each upper
  // column of a stack aligned on its lower one (HostElementAdapter::AlignStacked).
  std::shared_ptr<const HostElementAdapter::ElementModel> model;
  std::vector<ColumnOutcome> columns;
  std::vector<CageRecord> cages;
  std::vector<Stacks::Single> singles;
  // For each rule, the columns whose edits it gave; the last entry counts
  // the columns no rule matched.
  std::vector<std::size_t> rule_counts;
};

// The palette edits of a column's own run (the column by element index):
// every `--set`, then those of the first rule that matches the column; and
// for a column that stands on another, the values given among them for the
// columns above (`Main_Diameter_Above=20`) under their own names.
PaletteEdits ColumnEdits(const BuildingOptions& options,
                         const HostElementAdapter::ElementModel& model, std::size_t column,
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

// The command: reinforce, write the outputs, print the summary (columns the
// model's source holds but the host did not take are listed with their
// reasons). Exit 0 when every column got its bars, 3 when some were blocked
// or failed, 2 when the model has no column the tool can take.
int RunBuilding(const BuildingOptions& options, const ToolLocation& tool, Terminal& terminal);

}  // namespace pierhost
