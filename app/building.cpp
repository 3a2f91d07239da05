#include "app/building.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <sstream>
#include <stdexcept>
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

// One column through the tool, as a user runs it.
ColumnOutcome ReinforceColumn(const HostUtil::PluginModule& plugin,
                              const std::shared_ptr<const ElementModel>& model,
                              const std::string& tool_path, const BuildingOptions& options,
                              const std::string& column, const std::string& above,
                              std::vector<CageRecord>& cages) {
  ColumnOutcome outcome;
  outcome.column = column;
  outcome.above = above;
  // Message boxes are collected, never asked one by one.
  ToolRun run(plugin, model, tool_path, {});
  try {
    run.Click(column);
    if (!above.empty()) run.Click(above);
    run.Button(kFinish);
    for (const auto& [name, value] : options.sets) run.Set(name, value);
    run.Button(kDraw);
    if (run.Cages().empty()) {
      outcome.result = ColumnOutcome::Result::Blocked;
    } else {
      outcome.result = run.Messages().empty() && run.Lines().empty()
                           ? ColumnOutcome::Result::Reinforced
                           : ColumnOutcome::Result::Warned;
      cages = run.TakeCages();
    }
  } catch (const std::exception& e) {
    outcome.result = ColumnOutcome::Result::Failed;
    outcome.messages.push_back(e.what());
  }
  outcome.messages.insert(outcome.messages.begin(), run.Lines().begin(), run.Lines().end());
  outcome.messages.insert(outcome.messages.begin(), run.Messages().begin(), run.Messages().end());
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
  // The columns are independent runs of the tool, each with its own
  // interactor on one thread; the host hands them out to as many threads as
  // the machine has cores and puts the results back in model order.
  std::vector<ColumnOutcome> outcomes(columns.size());
  std::vector<std::vector<CageRecord>> cages(columns.size());
  std::atomic<std::size_t> next{0}, done{0};
  const auto work = [&] {
    for (std::size_t n = next++; n < columns.size(); n = next++) {
      const std::size_t i = columns[n];
      outcomes[n] = ReinforceColumn(plugin, model, tool_path, options, elements[i].id,
                                    above[i] ? elements[*above[i]].id : std::string(), cages[n]);
      ++done;
    }
  };
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  std::vector<std::thread> workers;
  for (unsigned t = 1; t < threads && columns.size() > 1; ++t) workers.emplace_back(work);
  std::thread reporter;
  if (progress) {
    reporter = std::thread([&] {
      for (std::size_t shown = 0; shown < columns.size();) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::size_t now = done;
        if (now != shown) progress(shown = now, columns.size());
      }
    });
  }
  work();
  for (auto& w : workers) w.join();
  if (reporter.joinable()) reporter.join();
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
