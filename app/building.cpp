#include "app/building.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "app/commands.h"
#include "app/export/exporter.h"

namespace pierhost {

using HostElementAdapter::Element;
using HostElementAdapter::ElementModel;
using HostGeo::Point2D;

namespace {

Point2D Centre(const Element& e) {
  double x = 0, y = 0;
  for (const auto& p : e.plan) {
    x += p.X();
    y += p.Y();
  }
  return {x / static_cast<double>(e.plan.size()), y / static_cast<double>(e.plan.size())};
}

// Inside a convex plan listed counter-clockwise (edges included).
bool Inside(const Element& e, const Point2D& p) {
  const std::size_t n = e.plan.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D& a = e.plan[i];
    const Point2D& b = e.plan[(i + 1) % n];
    const double cross = (b.X() - a.X()) * (p.Y() - a.Y()) - (b.Y() - a.Y()) * (p.X() - a.X());
    if (cross < -1e-9) return false;
  }
  return true;
}

}  // namespace

std::vector<std::optional<std::size_t>> FindColumnsAbove(const ElementModel& model,
                                                         double slab_zone) {
  const auto& elements = model.GetElements();
  const auto columns = model.GetColumns();
  std::vector<std::optional<std::size_t>> above(elements.size());
  // Columns bucketed by the plan cell of their centre, so that each column
  // only looks at its neighbours.
  constexpr double kCell = 2000;
  std::map<std::pair<long, long>, std::vector<std::size_t>> cells;
  const auto cell_of = [&](const Point2D& p) {
    return std::pair{static_cast<long>(std::floor(p.X() / kCell)),
                     static_cast<long>(std::floor(p.Y() / kCell))};
  };
  for (auto i : columns) cells[cell_of(Centre(elements[i]))].push_back(i);
  for (auto i : columns) {
    const Element& lower = elements[i];
    // The plan's extent decides which cells can hold a centre inside it.
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (const auto& p : lower.plan) {
      x0 = std::min(x0, p.X());
      y0 = std::min(y0, p.Y());
      x1 = std::max(x1, p.X());
      y1 = std::max(y1, p.Y());
    }
    const auto [cx0, cy0] = cell_of({x0, y0});
    const auto [cx1, cy1] = cell_of({x1, y1});
    std::optional<std::size_t> best;
    for (long cx = cx0; cx <= cx1; ++cx) {
      for (long cy = cy0; cy <= cy1; ++cy) {
        auto it = cells.find({cx, cy});
        if (it == cells.end()) continue;
        for (auto j : it->second) {
          if (j == i) continue;
          const Element& upper = elements[j];
          const double gap = upper.bottom - lower.top;
          if (gap < 0 || gap > slab_zone || !Inside(lower, Centre(upper))) continue;
          if (!best || upper.bottom < elements[*best].bottom ||
              (upper.bottom == elements[*best].bottom && j < *best)) {
            best = j;
          }
        }
      }
    }
    above[i] = best;
  }
  return above;
}

namespace {

// The palette values of the column above that the stacked cage reads, each
// the same value of that column's own palette.
constexpr const char* kAboveValues[] = {"Concr_Cover",          "Main_Diameter", "Add_X_Number",
                                        "Add_X_Diameter",       "Add_Y_Number",  "Add_Y_Diameter",
                                        "Main_Stirrup_Diameter"};
constexpr std::string_view kAboveSuffix = "_Above";

// Whether `name` is a value of the column above (not "Slab_Above", the slab
// over a single column).
bool IsAboveName(const std::string& name) {
  for (const char* v : kAboveValues) {
    if (name == std::string(v) + std::string(kAboveSuffix)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ColumnEdits(const BuildingOptions& options,
                                                             bool stands_on_another) {
  // The edits of every column, then, for a column that stands on another,
  // the values given for the columns above, under their own names.
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [name, value] : options.sets) {
    if (!IsAboveName(name)) out.push_back({name, value});
  }
  if (stands_on_another) {
    for (const auto& [name, value] : options.sets) {
      if (IsAboveName(name))
        out.push_back({name.substr(0, name.size() - kAboveSuffix.size()), value});
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> RunEdits(
    const std::vector<std::pair<std::string, std::string>>& own,
    const std::vector<std::pair<std::string, std::string>>* above) {
  std::vector<std::pair<std::string, std::string>> out = own;
  if (!above) return out;
  // The stacked cage's values of the column above are that column's own, so
  // that the bars it carries up lap the bars that column's run gives it.
  for (const auto& [name, value] : *above) {
    for (const char* v : kAboveValues) {
      if (name == v) out.push_back({name + std::string(kAboveSuffix), value});
    }
  }
  return out;
}

namespace {

// One column through the tool, as a user runs it. `below` are the bars
// created before in the column it stands on, there in the model as they
// would be for a user who reinforced that one first.
ColumnOutcome ReinforceColumn(const HostUtil::PluginModule& plugin,
                              const std::shared_ptr<const ElementModel>& model,
                              const std::string& tool_path,
                              const std::vector<std::pair<std::string, std::string>>& edits,
                              const std::string& column, const std::string& above,
                              const HostReinf::ModelElementList& below,
                              std::vector<CageRecord>& cages) {
  ColumnOutcome outcome;
  outcome.column = column;
  outcome.above = above;
  // Message boxes are collected, never asked one by one.
  std::optional<ToolRun> run;
  try {
    run.emplace(plugin, model, tool_path, ToolRun::Observer{});
    if (!below.empty()) run->Document().AddBatch(below);
    run->Click(column);
    if (!above.empty()) run->Click(above);
    run->Button(kFinish);
    for (const auto& [name, value] : edits) {
      // Each run takes the edits its palette has: a single cage has no
      // values of a column above, a stacked one no slab above.
      if (run->Palette() && run->Palette()->PageOf(name) >= 0) run->Set(name, value);
    }
    run->Button(kDraw);
    if (run->Cages().empty()) {
      outcome.result = ColumnOutcome::Result::Blocked;
    } else {
      // Draw's own report of what it created is no finding.
      bool said = !run->Messages().empty();
      for (const auto& line : run->Lines()) said = said || line.rfind("created ", 0) != 0;
      outcome.result = said ? ColumnOutcome::Result::Warned : ColumnOutcome::Result::Reinforced;
      cages = run->TakeCages();
    }
  } catch (const std::exception& e) {
    outcome.result = ColumnOutcome::Result::Failed;
    outcome.messages.push_back(e.what());
  }
  if (run) {
    for (auto it = run->Lines().rbegin(); it != run->Lines().rend(); ++it) {
      if (it->rfind("created ", 0) != 0 || it->rfind("created nothing", 0) == 0) {
        outcome.messages.insert(outcome.messages.begin(), *it);
      }
    }
    outcome.messages.insert(outcome.messages.begin(), run->Messages().begin(),
                            run->Messages().end());
  }
  return outcome;
}

}  // namespace

BuildingResult ReinforceBuilding(const HostUtil::PluginModule& plugin,
                                 std::shared_ptr<const ElementModel> model,
                                 const std::string& tool_path, const BuildingOptions& options,
                                 const std::function<void(std::size_t, std::size_t)>& progress) {
  const auto above = FindColumnsAbove(*model, options.slab_zone);
  const auto columns = model->GetColumns();
  const auto& elements = model->GetElements();
  // Where each column stands in the model's list of columns, and the columns
  // each one stands on: a column runs after those, with their bars in its
  // model, as a user reinforcing bottom up has them.
  std::vector<std::size_t> slot(elements.size(), columns.size());
  for (std::size_t n = 0; n < columns.size(); ++n) slot[columns[n]] = n;
  std::vector<std::vector<std::size_t>> stands_on(columns.size());
  for (std::size_t n = 0; n < columns.size(); ++n) {
    if (const auto up = above[columns[n]]; up && slot[*up] < columns.size()) {
      stands_on[slot[*up]].push_back(n);
    }
  }
  std::vector<int> storey(columns.size(), -1);
  std::function<int(std::size_t)> depth = [&](std::size_t n) {
    if (storey[n] >= 0) return storey[n];
    storey[n] = 0;  // a cycle cannot form (each stands higher), but stop one anyway
    int d = 0;
    for (auto m : stands_on[n]) d = std::max(d, depth(m) + 1);
    return storey[n] = d;
  };
  int storeys = 0;
  for (std::size_t n = 0; n < columns.size(); ++n) storeys = std::max(storeys, depth(n) + 1);
  std::vector<std::vector<std::pair<std::string, std::string>>> own(columns.size());
  for (std::size_t n = 0; n < columns.size(); ++n) {
    own[n] = ColumnEdits(options, !stands_on[n].empty());
  }
  // The columns are independent runs of the tool within a storey of the
  // stacks, each with its own interactor on one thread; the host hands them
  // out to as many threads as the machine has cores and puts the results
  // back in model order.
  std::vector<ColumnOutcome> outcomes(columns.size());
  std::vector<std::vector<CageRecord>> cages(columns.size());
  std::atomic<std::size_t> done{0};
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  // The progress is told every tenth of a second, and the reporter wakes
  // at once when the work is done: a small building takes no longer for it.
  std::mutex progress_mutex;
  std::condition_variable progress_wake;
  bool finished = false;
  std::thread reporter;
  if (progress) {
    reporter = std::thread([&] {
      std::unique_lock lock(progress_mutex);
      for (std::size_t shown = 0; !finished;) {
        progress_wake.wait_for(lock, std::chrono::milliseconds(100), [&] { return finished; });
        const std::size_t now = done;
        if (now != shown && !finished) progress(shown = now, columns.size());
      }
    });
  }
  for (int level = 0; level < storeys; ++level) {
    std::vector<std::size_t> batch;
    for (std::size_t n = 0; n < columns.size(); ++n) {
      if (storey[n] == level) batch.push_back(n);
    }
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
      for (std::size_t b = next++; b < batch.size(); b = next++) {
        const std::size_t n = batch[b];
        const std::size_t i = columns[n];
        const std::optional<std::size_t> up = above[i] && slot[*above[i]] < columns.size()
                                                  ? std::optional(slot[*above[i]])
                                                  : std::nullopt;
        HostReinf::ModelElementList below;
        for (auto m : stands_on[n]) {
          for (const auto& cage : cages[m]) {
            below.insert(below.end(), cage.placements.begin(), cage.placements.end());
          }
        }
        outcomes[n] = ReinforceColumn(plugin, model, tool_path,
                                      RunEdits(own[n], up ? &own[*up] : nullptr), elements[i].id,
                                      up ? elements[*above[i]].id : std::string(), below, cages[n]);
        ++done;
      }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads && batch.size() > 1; ++t) workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
  }
  {
    std::lock_guard lock(progress_mutex);
    finished = true;
  }
  progress_wake.notify_all();
  if (reporter.joinable()) reporter.join();
  if (progress) progress(done, columns.size());
  BuildingResult out;
  out.columns = std::move(outcomes);
  for (auto& c : cages) {
    for (auto& cage : c) out.cages.push_back(std::move(cage));
  }
  return out;
}

namespace {

class Progress {
 public:
  Progress(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  void operator()(std::size_t done, std::size_t total) {
    const int percent = total ? static_cast<int>(100 * done / total) : 100;
    if (terminal_) {
      const int width = 40, filled = percent * width / 100;
      out_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
           << std::string(static_cast<std::size_t>(width - filled), ' ') << "] " << percent << "% "
           << done << "/" << total << " columns" << (done == total ? "\n" : "") << std::flush;
    } else if (percent >= next_ || done == total) {
      out_ << "reinforced " << done << " of " << total << " columns (" << percent << "%)\n";
      next_ = percent - percent % 10 + 10;
    }
  }

 private:
  std::ostream& out_;
  bool terminal_;
  int next_ = 10;
};

const char* Name(ColumnOutcome::Result r) {
  switch (r) {
    case ColumnOutcome::Result::Reinforced:
      return "reinforced";
    case ColumnOutcome::Result::Warned:
      return "warned";
    case ColumnOutcome::Result::Blocked:
      return "blocked";
    case ColumnOutcome::Result::Failed:
      return "failed";
  }
  return "?";
}

}  // namespace

int RunBuilding(const BuildingOptions& options, const ToolLocation& tool, Terminal& terminal) {
  const auto model = ElementModel::ReadFile(options.model);
  const auto plugin = HostUtil::PluginModule::Load(tool.module_path);
  Progress progress(terminal.Out(), ::isatty(STDOUT_FILENO) == 1);
  const BuildingResult result =
      ReinforceBuilding(plugin, model, tool.tool_path, options, std::ref(progress));
  std::map<ColumnOutcome::Result, std::size_t> counts;
  std::size_t stacked = 0;
  for (const auto& c : result.columns) {
    ++counts[c.result];
    stacked += c.above.empty() ? 0 : 1;
  }
  if (!result.cages.empty()) {
    ExportInput input{model, result.cages, model->GetName(), OutputDate()};
    WriteOutputs(input, options.out_dir, terminal);
  }
  std::ostringstream s;
  s << "\nColumns: " << result.columns.size() << " (" << stacked << " carrying a column above)\n"
    << "  reinforced " << counts[ColumnOutcome::Result::Reinforced] << ", warned "
    << counts[ColumnOutcome::Result::Warned] << ", blocked "
    << counts[ColumnOutcome::Result::Blocked] << ", failed "
    << counts[ColumnOutcome::Result::Failed] << "\n";
  // Columns that got the same messages are told together.
  std::map<std::pair<ColumnOutcome::Result, std::vector<std::string>>, std::vector<std::string>>
      groups;
  for (const auto& c : result.columns) {
    if (c.result == ColumnOutcome::Result::Reinforced) continue;
    groups[{c.result, c.messages}].push_back(c.column + (c.above.empty() ? "" : "+" + c.above));
  }
  for (const auto& [key, names] : groups) {
    s << "  " << Name(key.first) << ", " << names.size()
      << (names.size() == 1 ? " column: " : " columns: ");
    for (std::size_t k = 0; k < names.size() && k < 8; ++k) s << (k ? ", " : "") << names[k];
    if (names.size() > 8) s << " and " << names.size() - 8 << " more";
    s << "\n";
    // A message the tool showed on every rebuild is told once.
    std::vector<std::string> distinct;
    for (const auto& m : key.second) {
      if (std::find(distinct.begin(), distinct.end(), m) == distinct.end()) distinct.push_back(m);
    }
    for (const auto& m : distinct) {
      std::string one = m;
      std::replace(one.begin(), one.end(), '\n', ' ');
      s << "      " << one << "\n";
    }
  }
  terminal.Out() << s.str();
  const bool all =
      counts[ColumnOutcome::Result::Blocked] == 0 && counts[ColumnOutcome::Result::Failed] == 0;
  return all ? kExitCreated : kExitBlocked;
}

}  // namespace pierhost
